#pragma once

#include "base/ClassForm.h"

class QFrame;
class QLabel;
class QPushButton;

// The About box: the product title and two links to the maker's pages. Every "About..." opens a
// new one, with no owner; each is in the window list while open and frees itself when closed.
class TfoAbout : public TSForm
{
    Q_OBJECT

public:
    explicit TfoAbout(QWidget* parent = nullptr);
    ~TfoAbout() override;

public slots:
    void OkButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildLayout();
    void FormCreate();
    // Shared by both link labels.
    void Label2MouseEnter(QLabel* label);
    void Label2MouseLeave(QLabel* label);
    void Label2Click(QLabel* label);

    QLabel* NameLabel = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* OkButton = nullptr;
    bool Centred = false;
};
