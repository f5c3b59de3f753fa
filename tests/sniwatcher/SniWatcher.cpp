// sniwatcher: a StatusNotifierWatcher with a host, for the desktop tests. It owns the service
// org.kde.StatusNotifierWatcher on the session bus and says that a host is there, so that a Qt
// program exports its tray icon and menu on the bus (as under KDE or Ubuntu) instead of using an
// XEmbed tray. Each item that registers is printed on its own line as "<bus name> <object path>";
// the test reads the item's menu from there.
//
// With --notifications it also owns org.freedesktop.Notifications, as a desktop's notification
// service does, and prints each message it is given as "notify <app>\t<summary>\t<body>".
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

class TWatcher : public QObject
{
    Q_OBJECT

public:
    QStringList Items;
};

class TWatcherAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

public:
    explicit TWatcherAdaptor(TWatcher* watcher) : QDBusAbstractAdaptor(watcher), Watcher(watcher)
    {
    }
    QStringList RegisteredStatusNotifierItems() const { return Watcher->Items; }
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        // An item names its bus name, or only its object path (then the sender is the bus name).
        QString name = service;
        QString path = QStringLiteral("/StatusNotifierItem");
        if (service.startsWith(QLatin1Char('/'))) {
            name = message.service();
            path = service;
        }
        Watcher->Items << name + path;
        std::printf("%s %s\n", qPrintable(name), qPrintable(path));
        std::fflush(stdout);
        emit StatusNotifierItemRegistered(name + path);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    TWatcher* Watcher;
};

// A line of its own, tabs and line ends turned into spaces.
QByteArray OneLine(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toUtf8();
}

class TNotifications : public QObject
{
    Q_OBJECT

public:
    uint LastId = 0;
};

class TNotificationsAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit TNotificationsAdaptor(TNotifications* service)
        : QDBusAbstractAdaptor(service), Service(service)
    {
    }

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& protocolVersion)
    {
        vendor = QStringLiteral("tests");
        version = QStringLiteral("1");
        protocolVersion = QStringLiteral("1.2");
        return QStringLiteral("sniwatcher");
    }
    uint Notify(const QString& app, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout)
    {
        (void)icon;
        (void)actions;
        (void)hints;
        (void)timeout;
        std::printf("notify %s\t%s\t%s\n", OneLine(app).constData(), OneLine(summary).constData(),
                    OneLine(body).constData());
        std::fflush(stdout);
        return replacesId ? replacesId : ++Service->LastId;
    }
    void CloseNotification(uint id) { emit NotificationClosed(id, 3); }

signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString& actionKey);

private:
    TNotifications* Service;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "sniwatcher: no session bus\n");
        return 1;
    }
    TWatcher watcher;
    new TWatcherAdaptor(&watcher);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "sniwatcher: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    TNotifications notifications;
    if (app.arguments().contains(QStringLiteral("--notifications"))) {
        new TNotificationsAdaptor(&notifications);
        if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications) ||
            !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
            std::fprintf(stderr, "sniwatcher: %s\n", qPrintable(bus.lastError().message()));
            return 1;
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "SniWatcher.moc"
