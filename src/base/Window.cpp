#include "base/Window.h"

#include "base/Translator.h"

#include <QAction>
#include <QPushButton>
#include <QScreen>

void TranslateWindow(QWidget* window)
{
    PvTranslator().TranslateForm(window);
}

void CentreOnScreen(QWidget* window, const QScreen* screen)
{
    if (!screen)
        screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

TSForm::TSForm(const QString& kind, QWidget* parent, Qt::WindowFlags flags, TListing listing)
    : TWindow(kind, parent, flags, listing)
{
}

QAction* TSForm::AddCloseOnEscape()
{
    auto* close = Named(new QAction(QStringLiteral("Close"), this), "actClose");
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    return close;
}

TSDialog::TSDialog(const QString& kind, QWidget* parent, Qt::WindowFlags flags)
    : TWindow(kind, parent, flags, TListing::Listed)
{
}

QDialogButtonBox* TSDialog::AddOkCancel(const char* boxName, bool withCancel)
{
    auto* box = Named(new QDialogButtonBox(this), boxName);
    QPushButton* ok =
        Named(box->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole), "OkButton");
    ok->setDefault(true);
    if (withCancel)
        Named(box->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole),
              "CancelButton");
    connect(box, &QDialogButtonBox::accepted, this, &TSDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &TSDialog::reject);
    return box;
}
