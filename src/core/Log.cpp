#include "core/Log.h"

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
