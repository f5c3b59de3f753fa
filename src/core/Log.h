#pragma once

#include <QLoggingCategory>

// Log categories of the program. Every failure on the file and network paths leaves one line
// here. The lines are written at info level, which is off by default; turn them on with
//   QT_LOGGING_RULES="pictavo.*=true"            (everything)
//   QT_LOGGING_RULES="pictavo.http.info=true"    (one category)
Q_DECLARE_LOGGING_CATEGORY(lcHttp)      // pictavo.http: fetches and their failures
Q_DECLARE_LOGGING_CATEGORY(lcArchive)   // pictavo.archive: archived images
Q_DECLARE_LOGGING_CATEGORY(lcSettings)  // pictavo.settings: Options.xml, autostart, file types
Q_DECLARE_LOGGING_CATEGORY(lcExchange)  // pictavo.exchange: .cam and .cal files
Q_DECLARE_LOGGING_CATEGORY(lcImage)     // pictavo.image: decoding and saving images
Q_DECLARE_LOGGING_CATEGORY(lcAvi)       // pictavo.avi: AVI production
Q_DECLARE_LOGGING_CATEGORY(lcLanguage)  // pictavo.language: language files
Q_DECLARE_LOGGING_CATEGORY(lcWorker)    // pictavo.worker: worker threads and hand-overs
Q_DECLARE_LOGGING_CATEGORY(lcInstance)  // pictavo.instance: single instance and hand-over
Q_DECLARE_LOGGING_CATEGORY(lcUi)        // pictavo.ui: windows and commands

// Installs the program's message handler: every message, of any category, goes on to the handler
// installed before it (Qt's own writes to standard error) with the password of every address in
// it masked, so that a password written in a webcam's address never reaches a log. Called first
// thing in main; a test installs its own handler before it to read what the program logs.
void InstallLogMasking();
