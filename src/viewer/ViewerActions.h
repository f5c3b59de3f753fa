#pragma once

#include "core/rules/ViewerGeometry.h"

#include <QKeySequence>
#include <QList>

class QAction;
class QActionGroup;
class QMenu;
class TfoViewer;

// The viewer's commands and menus. The commands are actions of the window, so that their
// shortcuts work while no menu is open; each runs its handler on the window (actHide runs
// actHideExecute). The context menu PopupMenu holds items linked to the commands (actHide1 runs
// actHide), the sub-menu of refresh intervals and the Size sub-menu; SizePopup, the size button's
// menu, holds the same size commands. Every action and menu carries its layout name as its
// object name, one name per object, so that a language file reaches each of them.
//
// The interval and size commands are built from tables of values: an interval item sets the
// refresh interval it carries, a size item asks for the client size its command gives.
class TViewerActions
{
public:
    explicit TViewerActions(TfoViewer* window);

    QMenu* PopupMenu() const { return FPopupMenu; }
    QMenu* SizePopup() const { return FSizePopup; }

    // Commands whose state the window reads or sets.
    QAction* AlwaysOnTop() const { return FAlwaysOnTop; }
    QAction* Proportional() const { return FProportional; }
    QAction* Status() const { return FStatus; }
    QAction* Site() const { return FSite; }
    QAction* Email() const { return FEmail; }
    // The command of a size; its caption (as translated) becomes the size button's caption.
    QAction* SizeAction(ViewerGeometry::SizeCommand command) const;
    QAction* FullScreen() const { return FFullScreen; }
    QAction* RefreshAuto() const { return FAutoRefresh; }
    QAction* Save() const { return FSave; }
    // Puts the interval sub-menu's mark on the item of this interval: Auto when automatic, the
    // item that carries the interval, or Custom for an interval of no item. An interval whose item
    // takes no mark (1 second, Brute Refresh) leaves the mark where it is.
    void MarkInterval(int interval, bool automatic) const;

private:
    QAction* AddCommand(const char* name, const char* caption, const QKeySequence& key);
    void BuildIntervalMenu(QMenu* menu);
    void FillSizeMenu(QMenu* menu) const;

    TfoViewer* Window;
    QMenu* FPopupMenu = nullptr;
    QMenu* FSizePopup = nullptr;
    QAction* FAlwaysOnTop = nullptr;
    QAction* FProportional = nullptr;
    QAction* FStatus = nullptr;
    QAction* FSite = nullptr;
    QAction* FEmail = nullptr;
    QAction* FFullScreen = nullptr;
    QAction* FAutoRefresh = nullptr;
    QAction* FCustom = nullptr;
    QAction* FSave = nullptr;
    QActionGroup* FIntervalGroup = nullptr;
    // The size commands in menu order; a null entry stands for a separator.
    QList<QAction*> SizeItems;
};
