#include "base/ActionLink.h"

#include <QAction>
#include <QMenu>

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

QAction* AddLinkedItem(QMenu* menu, const char* name, QAction* action)
{
    auto* item = new QAction(menu);
    item->setObjectName(QLatin1String(name));
    LinkAction(item, action);
    menu->addAction(item);
    return item;
}
