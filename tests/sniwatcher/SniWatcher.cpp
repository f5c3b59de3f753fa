// sniwatcher: a StatusNotifierWatcher with a host, for the desktop tests. It owns the service
// org.kde.StatusNotifierWatcher on the session bus and says that a host is there, so that a Qt
// program exports its tray icon and menu on the bus (as under KDE or Ubuntu) instead of using an
// XEmbed tray. Each item that registers is printed on its own line as "<bus name> <object path>";
// the test reads the item's menu from there.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
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
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "SniWatcher.moc"
