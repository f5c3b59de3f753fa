#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <mutex>

// Collects the lines logged in one category (from any thread) while it exists; that category's
// info lines are switched on meanwhile. One capture at a time. What it collects lives in a store
// that is never destroyed, so a worker still logging as the capture ends is harmless.
class TLogCapture
{
public:
    explicit TLogCapture(const char* category)
    {
        TStore& store = Store();
        {
            std::lock_guard lock(store.Mutex);
            store.Category = QString::fromLatin1(category);
            store.Lines.clear();
        }
        QLoggingCategory::setFilterRules(QStringLiteral("%1.info=true").arg(category));
        Previous = qInstallMessageHandler(&Handler);
    }
    ~TLogCapture()
    {
        qInstallMessageHandler(Previous);
        QLoggingCategory::setFilterRules(QString());
        TStore& store = Store();
        std::lock_guard lock(store.Mutex);
        store.Category.clear();
    }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    QStringList Lines() const
    {
        TStore& store = Store();
        std::lock_guard lock(store.Mutex);
        return store.Lines;
    }
    // The number of lines that contain every one of the given texts.
    int Count(const QStringList& parts) const
    {
        int n = 0;
        for (const QString& line : Lines()) {
            bool all = true;
            for (const QString& part : parts)
                all = all && line.contains(part);
            n += all ? 1 : 0;
        }
        return n;
    }

private:
    struct TStore
    {
        std::mutex Mutex;
        QString Category;
        QStringList Lines;
    };
    static TStore& Store()
    {
        static auto* store = new TStore;
        return *store;
    }
    static void Handler(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        TStore& store = Store();
        std::lock_guard lock(store.Mutex);
        if (context.category && store.Category == QLatin1String(context.category))
            store.Lines.append(message);
    }

    QtMessageHandler Previous = nullptr;
};
