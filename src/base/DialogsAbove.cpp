#include "base/DialogsAbove.h"

#include "core/Log.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace {

// Windows that answer to the user and come and go with a command: they go above the others.
bool isDialogWindow(const QWidget* widget)
{
    return widget->isWindow() && (qobject_cast<const QDialog*>(widget) ||
                                  widget->objectName() == QLatin1String("foEditCams"));
}

class TDialogsAboveFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The show event comes after the native window is made and before it is mapped: the
        // hint set now is there when the window manager first sees the window.
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (!isDialogWindow(widget) || !AnyWindowOnTop())
            return false;
        if (QWindow* window = widget->windowHandle();
            window && !(window->flags() & Qt::WindowStaysOnTopHint)) {
            qCDebug(lcUi) << "dialog" << widget->objectName() << "shown above the windows on top";
            window->setFlags(window->flags() | Qt::WindowStaysOnTopHint);
        }
        return false;
    }
};

} // namespace

bool AnyWindowOnTop()
{
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !isDialogWindow(w) && (w->windowFlags() & Qt::WindowStaysOnTopHint))
            return true;
    return false;
}

void KeepDialogsAbove()
{
    static QObject* filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new TDialogsAboveFilter(qApp);
    qApp->installEventFilter(filter);
}
