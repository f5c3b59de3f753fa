#pragma once

#include "base/Window.h"

#include <QSpinBox>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QToolButton;

// A whole-number field that takes any text while the user types and reads it with
// SpinFieldValue: out-of-range numbers come to the nearest bound, anything else reads as 1.
class TSpinField : public QSpinBox
{
    Q_OBJECT

public:
    explicit TSpinField(QWidget* parent = nullptr);
    // The number the typed text stands for.
    int Value() const;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
};

// The options dialog: three tabs (viewer, archive, proxy) over the settings of CamViewer. It holds
// nothing of its own beyond its controls: LoadControls fills them, OK (or Enter) stores them (the
// autostart entry is written or removed at once) and hands over to OnStored, which saves the
// settings; Cancel, Escape and the close box discard every change. Not modal; it frees itself when
// closed. Made with CreateForm.
class TfoOptions : public TSDialog
{
    Q_OBJECT

public:
    explicit TfoOptions(QWidget* parent = nullptr);
    ~TfoOptions() override;

    void LoadControls();
    void StoreControls();

    // Run after OK has stored the controls (the tray window saves the settings there).
    std::function<void()> OnStored;

public slots:
    // OK or Enter: stores the controls, hands over to OnStored and closes.
    void accept() override;

protected:
    void BuildLayout() override;
    void FormCreate() override;

private:
    void DirectoryButtonClick();

    QTabWidget* PageControl1 = nullptr;
    QCheckBox* AlwaysBox = nullptr;
    QCheckBox* PropBox = nullptr;
    QCheckBox* StatusBox = nullptr;
    QCheckBox* BeepBox = nullptr;
    QCheckBox* LaunchWindows = nullptr;
    QCheckBox* ScrollMosaic = nullptr;
    QCheckBox* ImagesBox = nullptr;
    QCheckBox* ImageSubBox = nullptr;
    QLabel* DirectoryLabel = nullptr;
    QLineEdit* Directory = nullptr;
    QToolButton* DirectoryButton = nullptr;
    QLineEdit* ProxyHost = nullptr;
    TSpinField* ProxyPort = nullptr;
    QLineEdit* ProxyUser = nullptr;
    QLineEdit* ProxyPass = nullptr;
};
