#pragma once

#include <QDialog>

// Base class of the program's dialogs (options, about box, catalogue editor, AVI creator): a
// QDialog that is in the program's window list (TFormList) from its construction to the start of
// its destruction, is made in the same order as every window (CreateForm: BuildLayout, translation
// from the current language document, FormCreate) and is shown in the program's font.
class TSDialog : public QDialog
{
    Q_OBJECT

public:
    // kind is the dialog's layout name ("foOptions"); later dialogs of a kind get "foOptions_1",
    // ...
    explicit TSDialog(const QString& kind, QWidget* parent = nullptr);
    ~TSDialog() override;

    // BuildLayout, translation, FormCreate; once per dialog (a second call does nothing).
    void Construct();

protected:
    // The dialog's named components, its layout and button box; reads no settings.
    virtual void BuildLayout() {}
    // Set-up after translation.
    virtual void FormCreate() {}

    void showEvent(QShowEvent* event) override;

private:
    bool Constructed = false;
};
