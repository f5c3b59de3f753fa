#include "viewer/ViewerActions.h"

#include "base/ActionLink.h"
#include "viewer/FormViewer.h"

#include <QAction>
#include <QActionGroup>
#include <QHash>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <optional>

using ViewerGeometry::SizeCommand;

namespace {

constexpr auto Ctrl = Qt::CTRL;
constexpr auto Shift = Qt::SHIFT;
constexpr auto Alt = Qt::ALT;

// The pictures of the two status-bar buttons, drawn rather than shipped.
QIcon siteIcon()
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 70, 150), 1.2));
    p.setBrush(QColor(120, 170, 230));
    p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
    p.drawLine(QPointF(1.5, 7), QPointF(12.5, 7));
    p.drawEllipse(QRectF(4.5, 1.5, 5, 11));
    return QIcon(pm);
}

QIcon mailIcon()
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(QColor(90, 70, 20), 1));
    p.setBrush(QColor(250, 235, 170));
    p.drawRect(QRect(1, 3, 12, 8));
    p.drawLine(QPoint(1, 3), QPoint(7, 8));
    p.drawLine(QPoint(13, 3), QPoint(7, 8));
    return QIcon(pm);
}

// A command of the window with its own handler.
struct CommandItem
{
    const char* Name;
    const char* Caption;
    QKeySequence Key;
    bool Checkable;
    void (TfoViewer::*Handler)();
};

// An interval item: the interval it sets, and whether it takes the radio mark. A row without a
// name is a separator.
struct IntervalItem
{
    const char* Name;
    const char* Caption;
    QKeySequence Key;
    int Value;
    bool Marks;
};

// A size item: the size command it runs; none for FullScreen, which maximises. A row without a
// name is a separator.
struct SizeItem
{
    const char* Name;
    const char* Caption;
    QKeySequence Key;
    std::optional<SizeCommand> Command;
};

} // namespace

TViewerActions::TViewerActions(TfoViewer* window) : Window(window)
{
    const CommandItem commands[] = {
        {"actHide", "&Hide", QKeySequence(Qt::Key_Escape), false, &TfoViewer::actHideExecute},
        {"actSnooze", "&Snooze", QKeySequence(Shift | Qt::Key_Escape), false,
         &TfoViewer::actSnoozeExecute},
        {"actRefresh", "&Refresh", QKeySequence(Qt::Key_F5), false, &TfoViewer::actRefreshExecute},
        {"actStopRefresh", "&Stop Refreshing", QKeySequence(Ctrl | Qt::Key_Escape), false,
         &TfoViewer::actStopRefreshExecute},
        {"actAlwaysOnTop", "&Always on Top", QKeySequence(Ctrl | Qt::Key_T), true,
         &TfoViewer::actAlwaysOnTopExecute},
        {"actProportional", "Proportional Resize", QKeySequence(Ctrl | Qt::Key_R), true,
         &TfoViewer::actProportionalExecute},
        {"actStatus", "Show Status", QKeySequence(Ctrl | Qt::Key_U), true,
         &TfoViewer::actStatusExecute},
        {"actClose", "&Close", QKeySequence(Ctrl | Qt::Key_F4), false, &TfoViewer::actCloseExecute},
        {"actSave", "Save &Image...", QKeySequence(Ctrl | Qt::Key_S), false,
         &TfoViewer::actSaveExecute},
        {"actAlphaUp", "Opacity Up", QKeySequence(Ctrl | Qt::Key_Up), false,
         &TfoViewer::actAlphaUpExecute},
        {"actAlphaDown", "Opacity Down", QKeySequence(Ctrl | Qt::Key_Down), false,
         &TfoViewer::actAlphaDownExecute},
        // Commands without a menu item.
        {"actSite", "Surf to Website", {}, false, &TfoViewer::actSiteExecute},
        {"actEmail", "Send Email", {}, false, &TfoViewer::actEmailExecute},
    };
    QHash<QString, QAction*> byName;
    for (const CommandItem& item : commands) {
        QAction* a = AddCommand(item.Name, item.Caption, item.Key);
        a->setCheckable(item.Checkable);
        QObject::connect(a, &QAction::triggered, Window, item.Handler);
        byName.insert(QLatin1String(item.Name), a);
    }
    FAlwaysOnTop = byName.value(QStringLiteral("actAlwaysOnTop"));
    FProportional = byName.value(QStringLiteral("actProportional"));
    FStatus = byName.value(QStringLiteral("actStatus"));
    FStatus->setChecked(true);
    FSite = byName.value(QStringLiteral("actSite"));
    FEmail = byName.value(QStringLiteral("actEmail"));
    // Nothing to save before the first image.
    FSave = byName.value(QStringLiteral("actSave"));
    FSave->setEnabled(false);
    FSite->setIcon(siteIcon());
    FEmail->setIcon(mailIcon());
    FSite->setEnabled(false);
    FEmail->setEnabled(false);
    // Opaque: opacity steps up to the full, at most as many steps as there are from nothing.
    QAction* alphaUp = byName.value(QStringLiteral("actAlphaUp"));
    QAction* opaque = AddCommand("actOpaque", "&Opaque", {});
    QObject::connect(opaque, &QAction::triggered, Window, [window = Window, alphaUp] {
        for (int step = 0; step <= 255 && window->Opacity() < 255; ++step)
            alphaUp->trigger();
    });

    // Size commands, shared by the Size sub-menu and the size button's menu.
    const SizeItem sizes[] = {
        {"act300x200", "300*200", QKeySequence(Shift | Ctrl | Qt::Key_4), SizeCommand::S300x200},
        {"act600x400", "600*400", QKeySequence(Shift | Ctrl | Qt::Key_5), SizeCommand::S600x400},
        {nullptr, nullptr, {}, {}},
        {"act50", "50%", QKeySequence(Shift | Ctrl | Qt::Key_0), SizeCommand::Half},
        {"act100", "100%", QKeySequence(Shift | Ctrl | Qt::Key_1), SizeCommand::Full},
        {"act150", "150%", QKeySequence(Shift | Ctrl | Qt::Key_2), SizeCommand::OneAndHalf},
        {"act200", "200%", QKeySequence(Shift | Ctrl | Qt::Key_3), SizeCommand::Double},
        {nullptr, nullptr, {}, {}},
        {"actFullScreen", "FullScreen", QKeySequence(Ctrl | Qt::Key_F), std::nullopt},
    };
    for (const SizeItem& item : sizes) {
        if (!item.Name) {
            SizeItems.append(nullptr);
            continue;
        }
        QAction* a = AddCommand(item.Name, item.Caption, item.Key);
        if (item.Command) {
            const SizeCommand command = *item.Command;
            a->setProperty("SizeCommand", static_cast<int>(command));
            QObject::connect(a, &QAction::triggered, Window,
                             [window = Window, command] { window->actSizeExecute(command); });
        } else {
            FFullScreen = a;
            QObject::connect(a, &QAction::triggered, Window, &TfoViewer::actFullScreenExecute);
        }
        SizeItems.append(a);
    }
    FSizePopup = new QMenu(Window);
    FSizePopup->setObjectName(QStringLiteral("SizePopup"));
    FillSizeMenu(FSizePopup);

    // The context menu.
    FPopupMenu = new QMenu(Window);
    FPopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    AddLinkedItem(FPopupMenu, "actHide1", byName.value(QStringLiteral("actHide")));
    AddLinkedItem(FPopupMenu, "actSnooze1", byName.value(QStringLiteral("actSnooze")));
    FPopupMenu->addSeparator();
    AddLinkedItem(FPopupMenu, "Refresh1", byName.value(QStringLiteral("actRefresh")));
    AddLinkedItem(FPopupMenu, "StopRefreshing1", byName.value(QStringLiteral("actStopRefresh")));
    // A sub-menu is one component: the menu carries the name, its item in the parent menu none.
    QMenu* intervalMenu = FPopupMenu->addMenu(QStringLiteral("Refresh Interval"));
    intervalMenu->setObjectName(QStringLiteral("RefreshInteval1"));
    BuildIntervalMenu(intervalMenu);
    // The "Size" item only opens its sub-menu.
    QMenu* sizeMenu = FPopupMenu->addMenu(QStringLiteral("Size"));
    sizeMenu->setObjectName(QStringLiteral("Size1"));
    FillSizeMenu(sizeMenu);
    // Opacity: more, less, none at all.
    QMenu* opacityMenu = FPopupMenu->addMenu(QStringLiteral("O&pacity"));
    opacityMenu->setObjectName(QStringLiteral("Opacity1"));
    AddLinkedItem(opacityMenu, "OpacityUp1", alphaUp);
    AddLinkedItem(opacityMenu, "OpacityDown1", byName.value(QStringLiteral("actAlphaDown")));
    AddLinkedItem(opacityMenu, "Opaque1", opaque);
    FPopupMenu->addSeparator();
    AddLinkedItem(FPopupMenu, "SaveImage1", byName.value(QStringLiteral("actSave")));
    FPopupMenu->addSeparator();
    AddLinkedItem(FPopupMenu, "Alwaysontop1", FAlwaysOnTop);
    AddLinkedItem(FPopupMenu, "ProportionalResize1", FProportional);
    AddLinkedItem(FPopupMenu, "ShowStatus1", FStatus);
    FPopupMenu->addSeparator();
    AddLinkedItem(FPopupMenu, "Close1", byName.value(QStringLiteral("actClose")));
}

QAction* TViewerActions::AddCommand(const char* name, const char* caption, const QKeySequence& key)
{
    auto* action = new QAction(QString::fromLatin1(caption), Window);
    action->setObjectName(QLatin1String(name));
    if (!key.isEmpty())
        action->setShortcut(key);
    // Added to the window so that the shortcuts work while the menu is closed.
    Window->addAction(action);
    return action;
}

void TViewerActions::BuildIntervalMenu(QMenu* menu)
{
    const IntervalItem intervals[] = {
        {"N1second1", "1 second", QKeySequence(Ctrl | Alt | Qt::Key_1), 1, false},
        {"N2seconds1", "2 seconds", QKeySequence(Ctrl | Alt | Qt::Key_2), 2, true},
        {"N5seconds1", "5 seconds", QKeySequence(Ctrl | Alt | Qt::Key_3), 5, true},
        {"N10seconds1", "10 seconds", QKeySequence(Ctrl | Alt | Qt::Key_4), 10, true},
        {"N20seconds1", "20 seconds", QKeySequence(Ctrl | Alt | Qt::Key_5), 20, true},
        {"N60seconds1", "60 seconds", QKeySequence(Ctrl | Alt | Qt::Key_6), 60, true},
        {nullptr, nullptr, {}, 0, false},
        {"Alwaysrefresh1", "Always refresh", QKeySequence(Ctrl | Alt | Qt::Key_9), 0, true},
        {"BruteRefresh1", "&Brute Refresh", QKeySequence(Ctrl | Alt | Qt::Key_0), -1, false},
    };
    auto* group = new QActionGroup(Window);
    FIntervalGroup = group;
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const IntervalItem& item : intervals) {
        if (!item.Name) {
            // Auto closes the list of intervals: it learns one from the webcam's image changes.
            FAutoRefresh = AddCommand("Auto1", "Auto", {});
            FAutoRefresh->setCheckable(true);
            group->addAction(FAutoRefresh);
            menu->addAction(FAutoRefresh);
            QObject::connect(FAutoRefresh, &QAction::triggered, Window,
                             &TfoViewer::actRefreshAutoExecute);
            menu->addSeparator();
            continue;
        }
        QAction* a = AddCommand(item.Name, item.Caption, item.Key);
        a->setProperty("Interval", item.Value);
        // Items that do not take the mark leave the current mark where it is.
        a->setCheckable(item.Marks);
        group->addAction(a);
        menu->addAction(a);
        QObject::connect(a, &QAction::triggered, Window, [window = Window, value = item.Value] {
            window->actRefresh0Execute(value);
        });
    }
    QAction* custom = AddCommand("Custom1", "&Custom...", QKeySequence(Ctrl | Alt | Qt::Key_Minus));
    custom->setCheckable(true);
    FCustom = custom;
    group->addAction(custom);
    menu->addAction(custom);
    QObject::connect(custom, &QAction::triggered, Window, &TfoViewer::actRefreshCustomExecute);
}

void TViewerActions::FillSizeMenu(QMenu* menu) const
{
    for (QAction* a : SizeItems) {
        if (a)
            menu->addAction(a);
        else
            menu->addSeparator();
    }
}

QAction* TViewerActions::SizeAction(SizeCommand command) const
{
    for (QAction* a : SizeItems)
        if (a && a->property("SizeCommand").isValid() &&
            a->property("SizeCommand").toInt() == static_cast<int>(command))
            return a;
    return nullptr;
}

void TViewerActions::MarkInterval(int interval, bool automatic) const
{
    if (automatic) {
        FAutoRefresh->setChecked(true);
        return;
    }
    for (QAction* a : FIntervalGroup->actions()) {
        const QVariant value = a->property("Interval");
        if (value.isValid() && value.toInt() == interval) {
            if (a->isCheckable())
                a->setChecked(true);
            return;
        }
    }
    FCustom->setChecked(true);
}
