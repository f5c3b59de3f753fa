#include "base/FileDialogs.h"

QFileDialog* NewFileDialog(QWidget* parent, const QString& objectName,
                           QFileDialog::AcceptMode acceptMode, QFileDialog::FileMode fileMode,
                           const QString& nameFilter, const QString& folder)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(objectName);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(acceptMode);
    dialog->setFileMode(fileMode);
    dialog->setNameFilter(nameFilter);
    dialog->setDirectory(folder);
    return dialog;
}
