#include "base/ActionLink.h"

#include <QAction>
#include <QMenu>

namespace {
// The action's caption, hint and shortcut as the item last took them over. An item whose own
// value no longer equals it was given a text of its own (by a language file) and keeps it.
constexpr const char* linkedText = "pvLinkedText";
constexpr const char* linkedHint = "pvLinkedHint";
constexpr const char* linkedShortcut = "pvLinkedShortcut";

void copyState(QAction* item, const QAction* action, bool first)
{
    if (first || item->text() == item->property(linkedText).toString())
        item->setText(action->text());
    if (first || item->toolTip() == item->property(linkedHint).toString())
        item->setToolTip(action->toolTip());
    if (first || item->shortcut() == item->property(linkedShortcut).value<QKeySequence>())
        item->setShortcut(action->shortcut());
    item->setProperty(linkedText, action->text());
    item->setProperty(linkedHint, action->toolTip());
    item->setProperty(linkedShortcut, action->shortcut());
    item->setEnabled(action->isEnabled());
    item->setVisible(action->isVisible());
    item->setCheckable(action->isCheckable());
    item->setChecked(action->isChecked());
    item->setIcon(action->icon());
}
} // namespace

void LinkAction(QAction* item, QAction* action)
{
    copyState(item, action, true);
    QObject::connect(action, &QAction::changed, item,
                     [item, action] { copyState(item, action, false); });
    QObject::connect(action, &QAction::toggled, item, &QAction::setChecked);
    QObject::connect(item, &QAction::triggered, action, [action] {
        if (action->isEnabled())
            action->trigger();
    });
}

QAction* AddLinkedItem(QMenu* menu, const char* name, QAction* action)
{
    auto* item = new QAction(menu);
    item->setObjectName(QLatin1String(name));
    LinkAction(item, action);
    menu->addAction(item);
    return item;
}
