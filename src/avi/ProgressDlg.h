#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

// The AVI creator's progress window: borderless, centred on the screen, above other windows, with
// a label, a bar with a Cancel button and a line of text under them (frames done, time left) on a
// raised panel. The user cannot close it: only Finish()
// does, and closing only hides it. The label shows the window's caption, so a language file reaches
// it as the component's Caption. Not in the window list.
class TProgressDlg : public QWidget
{
    Q_OBJECT

public:
    explicit TProgressDlg(QWidget* parent = nullptr);
    ~TProgressDlg() override;

    // Sets the bar to 0 of maximum and shows the window, centred.
    void Start(int maximum);
    void SetPosition(int position);
    // The position and the line under the bar.
    void SetProgress(int position, const QString& text);
    QString StatusText() const;
    // Closes the window (hides it): the program's own close.
    void Finish();

signals:
    // The user asked to stop; the button stays disabled until the next Start.
    void CancelRequested();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CancelButtonClick();

    QFrame* Panel = nullptr;
    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* CancelButton = nullptr;
    QLabel* StatusLabel = nullptr;
    bool ProgramCloses = false;
};
