#include "base/TrayHost.h"

#include "core/Log.h"
#include "core/catalog/Product.h"

#include <QMessageBox>
#include <QString>

namespace {
ITrayHost* trayHost = nullptr;
}

ITrayHost* TrayHost()
{
    return trayHost;
}

void SetTrayHost(ITrayHost* host)
{
    trayHost = host;
}

void ITrayHost::ShowWarning(const QString& text, const QString& boxName)
{
    ShowWarningBox(text, boxName);
}

void ShowWarningBox(const QString& text, const QString& boxName, QWidget* parent)
{
    qCInfo(lcUi) << "told the user:" << text;
    auto* box = new QMessageBox(QMessageBox::Warning, ProductName, text, QMessageBox::Ok, parent);
    box->setObjectName(boxName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
