#include "platform/Signals.h"

#include "base/ActionLink.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <csignal>
#include <gtest/gtest.h>

TEST(SignalWatcher, TermAndIntArriveOnTheEventLoop)
{
    TSignalWatcher watcher;
    QList<int> received;
    QObject::connect(&watcher, &TSignalWatcher::Terminate, &watcher,
                     [&](int signalNumber) { received << signalNumber; });
    for (int sig : {SIGTERM, SIGINT}) {
        received.clear();
        ASSERT_EQ(::raise(sig), 0);
        // Nothing runs inside the handler: the signal reaches us from the event loop.
        EXPECT_TRUE(received.isEmpty());
        QDeadlineTimer deadline(2000);
        while (received.isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(received, QList<int>{sig});
    }
}

TEST(ActionLink, ItemFollowsItsActionAndRunsIt)
{
    QAction action("&Hide");
    action.setShortcut(QKeySequence(Qt::Key_Escape));
    QAction item;
    LinkAction(&item, &action);
    EXPECT_EQ(item.text(), "&Hide");
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::Key_Escape));

    int runs = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++runs; });
    item.trigger();
    EXPECT_EQ(runs, 1);

    action.setText("&Verbergen");
    action.setEnabled(false);
    EXPECT_EQ(item.text(), "&Verbergen");
    EXPECT_FALSE(item.isEnabled());
    item.trigger();
    EXPECT_EQ(runs, 1) << "a disabled action does not run";

    action.setEnabled(true);
    action.setCheckable(true);
    action.setChecked(true);
    EXPECT_TRUE(item.isCheckable());
    EXPECT_TRUE(item.isChecked());
}
