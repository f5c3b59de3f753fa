#pragma once

class QAction;
class QMenu;

// A menu item that runs an action, as the layouts have them (menu item Exit1 runs actExit): the
// item takes the action's caption, hint, shortcut, enabled, visible and check state and follows
// every later change of them; triggering it runs the action. A caption, hint or shortcut that the
// item was given itself (a language file translated the item) stays; the action's later changes
// of that value no longer reach it.
void LinkAction(QAction* item, QAction* action);

// Appends to menu a new item with the given object name, linked to action. The item lives only in
// the menu: shortcuts stay with the action.
QAction* AddLinkedItem(QMenu* menu, const char* name, QAction* action);
