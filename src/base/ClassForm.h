#pragma once

#include <QList>
#include <QWidget>
#include <utility>

// Base class of the program's windows (viewers, mosaic, chooser; the dialogs derive from TSDialog,
// base/ClassDialog.h). Every live instance is in the process-wide window list, in order of
// creation: the tray window lists the open windows from it and the settings find the open viewers
// in it.
//
// Every window is made in one order, by CreateForm<T>(...) below: the constructor only stores its
// arguments; Construct() then runs BuildLayout (the named components, no settings read), translates
// the window from the current language document, and runs FormCreate (the set-up that reads the
// settings and starts threads). So a language file reaches every component before the set-up
// writes texts that depend on settings, and a window opened late is translated like the first.
class TSForm : public QWidget
{
    Q_OBJECT

public:
    // kind is the window's layout name ("foViewer"); the first window of a kind gets it as its
    // object name, later ones get "foViewer_1", "foViewer_2", ...
    explicit TSForm(const QString& kind, QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~TSForm() override;

    // The live windows in order of creation. The list does not own them. The dialogs (TSDialog)
    // are not in it; TFormList (base/FormList.h) holds both kinds in one list.
    static const QList<TSForm*>& Forms();
    // Takes a window out of the list without destroying it (a closing viewer leaves the list
    // before the rest of its destruction runs). Removing twice is harmless.
    static void RemoveFromList(TSForm* form);
    // Set while the program shuts down: windows destroyed then do not save the settings again.
    static bool ShuttingDown();
    static void SetShuttingDown(bool value);

    // BuildLayout, translation, FormCreate; once per window (a second call does nothing).
    void Construct();

protected:
    // The window's named components; reads no settings.
    virtual void BuildLayout() {}
    // Set-up after translation: reads the settings, fills the controls, starts threads.
    virtual void FormCreate() {}

    void showEvent(QShowEvent* event) override;

private:
    bool Constructed = false;
};

// Makes a window: new T(args...), then its Construct().
template <class T, class... Args> T* CreateForm(Args&&... args)
{
    T* form = new T(std::forward<Args>(args)...);
    form->Construct();
    return form;
}
