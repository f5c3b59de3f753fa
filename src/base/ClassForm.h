#pragma once

#include <QList>
#include <QWidget>

// Base class of the program's windows (viewers, options, editor, mosaic, chooser, AVI creator,
// about box). Every live instance is in the process-wide window list, in order of creation: the
// tray window lists the open windows from it and the settings find the open viewers in it.
class TSForm : public QWidget
{
    Q_OBJECT

public:
    // kind is the window's layout name ("foViewer"); the first window of a kind gets it as its
    // object name, later ones get "foViewer_1", "foViewer_2", ...
    explicit TSForm(const QString& kind, QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~TSForm() override;

    // The live windows in order of creation. The list does not own them.
    static const QList<TSForm*>& Forms();
    // Takes a window out of the list without destroying it (a closing viewer leaves the list
    // before the rest of its destruction runs). Removing twice is harmless.
    static void RemoveFromList(TSForm* form);
    // Set while the program shuts down: windows destroyed then do not save the settings again.
    static bool ShuttingDown();
    static void SetShuttingDown(bool value);

protected:
    void showEvent(QShowEvent* event) override;
};
