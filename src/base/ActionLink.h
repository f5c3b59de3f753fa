#pragma once

class QAction;

// A menu item that runs an action, as the layouts have them (menu item Exit1 runs actExit): the
// item takes the action's caption, hint, shortcut, enabled, visible and check state and follows
// every later change of them (a language file may translate either); triggering it runs the action.
void LinkAction(QAction* item, QAction* action);
