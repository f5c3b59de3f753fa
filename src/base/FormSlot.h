#pragma once

#include <QPointer>
#include <QWidget>

// The one open window of a kind that the tray window keeps (options, catalogue editor, mosaic,
// chooser). The slot empties itself when its window is destroyed; a window that is hidden and
// frees itself on close is closing and no longer counts.
template <class T = QWidget> class TFormSlot
{
public:
    // The window held, or null.
    T* Window() const
    {
        if (FWindow && FWindow->isHidden() && FWindow->testAttribute(Qt::WA_DeleteOnClose))
            return nullptr;
        return FWindow.data();
    }

    // Shows the held window (restored when minimised), raises and activates it; false when the
    // slot is empty.
    bool BringToFront() const
    {
        T* window = Window();
        if (!window)
            return false;
        if (window->isMinimized())
            window->showNormal();
        else
            window->show();
        window->raise();
        window->activateWindow();
        return true;
    }

    // Brings the held window to the front or, when there is none, makes one with make() (a
    // callable returning a new T*, filled and ready), keeps it and shows it.
    template <class Make> T* Open(Make make)
    {
        if (BringToFront())
            return FWindow.data();
        FWindow = make();
        if (FWindow)
            FWindow->show();
        return FWindow.data();
    }

private:
    QPointer<T> FWindow;
};
