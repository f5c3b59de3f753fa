#include "base/ActionLink.h"

#include <QAction>

namespace {
void copyState(QAction* item, const QAction* action)
{
    item->setText(action->text());
    item->setToolTip(action->toolTip());
    item->setShortcut(action->shortcut());
    item->setEnabled(action->isEnabled());
    item->setVisible(action->isVisible());
    item->setCheckable(action->isCheckable());
    item->setChecked(action->isChecked());
    item->setIcon(action->icon());
}
} // namespace

void LinkAction(QAction* item, QAction* action)
{
    copyState(item, action);
    QObject::connect(action, &QAction::changed, item, [item, action] { copyState(item, action); });
    QObject::connect(action, &QAction::toggled, item, &QAction::setChecked);
    QObject::connect(item, &QAction::triggered, action, [action] {
        if (action->isEnabled())
            action->trigger();
    });
}
