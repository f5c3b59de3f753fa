#pragma once

#include <QFileDialog>
#include <QString>

// A file dialog of a window, named so that language files and tests reach it, that frees itself
// when it closes. The caller connects its answer and opens it with open(), so the program goes on
// while the dialog waits.
QFileDialog* NewFileDialog(QWidget* parent, const QString& objectName,
                           QFileDialog::AcceptMode acceptMode, QFileDialog::FileMode fileMode,
                           const QString& nameFilter, const QString& folder);
