#pragma once

#include "base/Window.h"

class QFrame;
class QLabel;

// The About box: the product title, its version, the versions of Qt, libcurl and libjpeg-turbo it
// runs with, its licence, and two links to the maker's pages. Every "About..." opens a
// new one (CreateForm), with no owner and not modal; each is in the window list while open and
// frees itself when closed by OK, Enter, Escape or the close box.
class TfoAbout : public TSDialog
{
    Q_OBJECT

public:
    explicit TfoAbout(QWidget* parent = nullptr);
    ~TfoAbout() override;

protected:
    void BuildLayout() override;
    void FormCreate() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shared by both link labels.
    void Label2MouseEnter(QLabel* label);
    void Label2MouseLeave(QLabel* label);
    void Label2Click(QLabel* label);

    QLabel* NameLabel = nullptr;
    QLabel* VersionLabel = nullptr;
    QLabel* LibrariesLabel = nullptr;
    QLabel* LicenceLabel = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QFrame* Bevel1 = nullptr;
};
