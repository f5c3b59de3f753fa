#pragma once

#include "base/FormList.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QWidget>
#include <memory>
#include <utility>

class QAction;
class QScreen;

// Whether a window is in the program's window list (TFormList): the tray's Windows sub-menu
// shows the listed ones and the shutdown destroys them. The tray window itself and the windows
// that belong to another (the AVI creator's progress window) are unlisted.
enum class TListing
{
    Listed,
    Unlisted
};

// Names a component after its layout name, through which language files and tests reach it.
template <class T> T* Named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// Lets go of a window's worker (a fetch or decode thread): its events no longer reach the
// window, it is told to end, and the window drops it. Nothing when there is none.
template <class T> void StopWorker(std::shared_ptr<T>& worker)
{
    if (!worker)
        return;
    worker->ClearEvents();
    worker->Terminate();
    worker.reset();
}

// Translates a window from the current language document (TPvTranslator::TranslateForm).
void TranslateWindow(QWidget* window);
// Moves a window so that it stands in the middle of the available geometry of screen (of its own
// screen when null).
void CentreOnScreen(QWidget* window, const QScreen* screen = nullptr);

// The one way every program window is made and lives, over a QWidget (TSForm) or a QDialog
// (TSDialog). Made only by CreateForm<T>(...) below:
//   1. the constructor stores its arguments; the window takes its object name from its kind and,
//      when listed, joins the window list;
//   2. Construct() runs BuildLayout (the named components; no settings read), translates the
//      window from the current language document, and runs FormCreate (the set-up that reads the
//      settings and starts threads). So a language file reaches every component before the set-up
//      writes texts that depend on settings, and a window opened late is translated like the
//      first;
//   3. at its first show the window takes its place (centred on its screen when it asked for it
//      with CentreAtFirstShow; otherwise where the window manager or the window itself put it),
//      and at every show the program's font.
// The window leaves the list when it is destroyed (or earlier, through TFormList::Remove).
template <class Base> class TWindow : public Base
{
public:
    ~TWindow() override { TFormList::Remove(this); }

    // Step 2: BuildLayout, translation, FormCreate; once per window (a second call does
    // nothing).
    void Construct()
    {
        if (Constructed)
            return;
        Constructed = true;
        BuildLayout();
        TranslateWindow(this);
        FormCreate();
    }

protected:
    // kind is the window's layout name ("foViewer"): a listed window gets it as its object name
    // when it is the first of its kind, later ones "foViewer_1", "foViewer_2", ...; an unlisted
    // window gets the kind as it is.
    TWindow(const QString& kind, QWidget* parent, Qt::WindowFlags flags, TListing listing)
        : Base(parent, flags)
    {
        if (listing == TListing::Listed)
            TFormList::Add(this, kind);
        else
            this->setObjectName(kind);
    }

    // The window's named components; reads no settings.
    virtual void BuildLayout() {}
    // Set-up after translation: reads the settings, fills the controls, starts threads.
    virtual void FormCreate() {}

    // The window is centred on its screen when it is first shown.
    void CentreAtFirstShow() { Centred = true; }

    void showEvent(QShowEvent* event) override
    {
        TFormList::ApplyProgramFont(this);
        Base::showEvent(event);
        if (Centred && !Placed)
            CentreOnScreen(this);
        Placed = true;
    }

private:
    bool Constructed = false;
    bool Centred = false;
    bool Placed = false;
};

// Base class of the program's windows (viewers, mosaic, chooser, the tray window, the AVI
// creator's progress window).
class TSForm : public TWindow<QWidget>
{
    Q_OBJECT

public:
    explicit TSForm(const QString& kind, QWidget* parent = nullptr, Qt::WindowFlags flags = {},
                    TListing listing = TListing::Listed);

protected:
    // The action actClose ("Close", Escape within this window) that closes the window, as a
    // dialog closes on Escape.
    QAction* AddCloseOnEscape();
};

// Base class of the program's dialogs (options, about box, catalogue editor, AVI creator).
class TSDialog : public TWindow<QDialog>
{
    Q_OBJECT

public:
    explicit TSDialog(const QString& kind, QWidget* parent = nullptr, Qt::WindowFlags flags = {});

protected:
    // The dialog's buttons at its foot, in a button box named boxName: OkButton ("&OK"), which
    // runs accept(), and with withCancel CancelButton ("&Cancel"), which runs reject(). OK is
    // the default button: Enter runs it unless the dialog keeps Enter from it. Escape and the
    // close box reject (a QDialog's own keys).
    QDialogButtonBox* AddOkCancel(const char* boxName, bool withCancel = true);
};

// Makes a window: new T(args...), then its Construct().
template <class T, class... Args> T* CreateForm(Args&&... args)
{
    T* form = new T(std::forward<Args>(args)...);
    form->Construct();
    return form;
}
