#include "core/Log.h"

#include "core/rules/CamAddress.h"

#include <atomic>
#include <cstdio>

Q_LOGGING_CATEGORY(lcHttp, "pictavo.http", QtWarningMsg)
Q_LOGGING_CATEGORY(lcArchive, "pictavo.archive", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "pictavo.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcExchange, "pictavo.exchange", QtWarningMsg)
Q_LOGGING_CATEGORY(lcImage, "pictavo.image", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAvi, "pictavo.avi", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLanguage, "pictavo.language", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWorker, "pictavo.worker", QtWarningMsg)
Q_LOGGING_CATEGORY(lcInstance, "pictavo.instance", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "pictavo.ui", QtWarningMsg)

namespace {
std::atomic<QtMessageHandler> NextHandler{nullptr};

void MaskingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString masked = MaskedAddresses(message);
    if (const QtMessageHandler next = NextHandler.load()) {
        next(type, context, masked);
        return;
    }
    const QString line = qFormatLogMessage(type, context, masked);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

void InstallLogMasking()
{
    const QtMessageHandler previous = qInstallMessageHandler(MaskingHandler);
    if (previous != MaskingHandler)
        NextHandler.store(previous);
}
