#pragma once

#include "base/Window.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The AVI creator's progress window: borderless, centred on the screen, above other windows, with
// a label, a bar with a Cancel button and a line of text under them (frames done, time left) on a
// raised panel. The user cannot close it: only Finish()
// does, and closing only hides it. The label shows the window's caption, so a language file reaches
// it as the component's Caption. It belongs to its creator: not in the window list. Made with
// CreateForm<TProgressDlg>(creator).
class TProgressDlg : public TSForm
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
    void BuildLayout() override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* CancelButton = nullptr;
    QLabel* StatusLabel = nullptr;
    bool ProgramCloses = false;
};
