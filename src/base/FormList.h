#pragma once

#include <QList>
#include <QString>
#include <QWidget>

// The process-wide list of the program's windows, whatever their toolkit class: TSForm windows
// (viewers, mosaic, chooser, ...) and TSDialog dialogs (options, about box, editor, ...), in order
// of creation. Windows join and leave it through their protocol (base/Window.h). The tray
// window's Windows sub-menu lists it; the list does not own the windows.
class TFormList
{
public:
    // Names the window after its kind and appends it: the first window of a kind gets the kind as
    // its object name ("foViewer"), later ones the first free "foViewer_1", "foViewer_2", ...
    static void Add(QWidget* window, const QString& kind);
    // Takes the window out (its first occurrence); removing twice is harmless. A closing viewer
    // leaves the list before the rest of its destruction runs.
    static void Remove(QWidget* window);
    static const QList<QWidget*>& Windows();
    // The windows of the list that are a T, in order of creation.
    template <class T> static QList<T*> Of()
    {
        QList<T*> found;
        for (QWidget* window : Windows())
            if (auto* match = qobject_cast<T*>(window))
                found.append(match);
        return found;
    }

    // Set while the program shuts down: windows destroyed then do not save the settings again.
    static bool ShuttingDown();
    static void SetShuttingDown(bool value);

    // Titles a window after a name of the catalogue: shortened in the middle as menu captions
    // are (MenuCaption), so that a giant name makes no giant title; WholeTitle keeps the name.
    static void SetTitle(QWidget* window, const QString& name);
    // The name a window was titled after with SetTitle, otherwise its title.
    static QString WholeTitle(const QWidget* window);
    // Shows the window in the program's font face (Arial; fontconfig substitutes where it is
    // missing). Controls with a font of their own keep it.
    static void ApplyProgramFont(QWidget* window);
};
