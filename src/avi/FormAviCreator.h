#pragma once

#include "base/DragWithinView.h"
#include "base/Window.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QStringList>
#include <chrono>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QRadioButton;
class QMessageBox;
class QPushButton;
class QSpinBox;
class TAviProduction;
class TProgressDlg;
struct TAviProductionResult;

// The creator's list of files: an entry dragged within the list is handed to the creator's drag
// handlers (an exchange, not a move).
using TFilesBox = TDragWithinView<QListWidget>;

// The AVI creator: an ordered list of JPEG files (full paths, each file once) produced into an AVI
// video, uncompressed or with JPEG frames, one frame per readable file, each shown for the pause.
// The format and the fitting of pictures of another size are remembered in the settings. Production
// runs on a worker thread (TAviProduction) with the progress window in front; the window's
// controls do not respond meanwhile and the window cannot be closed, but the progress window's
// Cancel stops it, leaving nothing behind. Each "&AVI Creator..." opens a new one; it frees
// itself when closed.
class TfoAviCreator : public TSDialog
{
    Q_OBJECT

public:
    explicit TfoAviCreator(QWidget* parent = nullptr);
    ~TfoAviCreator() override;

    // The list in frame order.
    QStringList Files() const;
    // Appends files at the end of the list, in the given order; files on the list already are
    // refused with a message.
    void AddFiles(const QStringList& files);

    // Drag within the list, pos in the list's viewport: whether a drop there is accepted (there is
    // a current entry and the pointer is over the list), and the drop itself, which exchanges the
    // current entry with the one under the pointer (the last entry below the entries).
    bool FilesBoxDragOver(const QPoint& pos) const;
    void FilesBoxDragDrop(const QPoint& pos);

    // The file the save dialog returned: refused when another creator writes it, confirmed when it
    // exists, then produced.
    void SaveDialogAccepted(const QString& chosen);
    // Starts the production of target from the list (no question asked).
    void Produce(const QString& target);
    bool Producing() const { return FProduction != nullptr; }

    // The progress hand-overs' minimum spacing (tests take every one).
    std::chrono::milliseconds ProgressInterval{40};

public slots:
    // Escape: the window closes, except during production.
    void reject() override;
    void AddButtonClick();
    void RemoveButtonClick();
    void ProduceButtonClick();
    void actAddExecute();
    void actRemoveExecute();

protected:
    void BuildLayout() override;
    void FormCreate() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetProducing(bool producing);
    void ProductionProgress(int done, int total);
    void FormatChanged();
    void StoreChoices();
    void ProductionDone(const TAviProductionResult& result);
    void CancelProduction();
    QMessageBox* ShowMessage(int icon, const QString& text, const QString& detail = QString());

    QLabel* TipsLabel = nullptr;
    TFilesBox* FilesBox = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* ProduceButton = nullptr;
    QLabel* PauseLabel = nullptr;
    QSpinBox* PauseSpin = nullptr;
    QLabel* Pause2Label = nullptr;
    QLabel* FormatLabel = nullptr;
    QRadioButton* RawRadio = nullptr;
    QRadioButton* MjpegRadio = nullptr;
    QCheckBox* FitBox = nullptr;
    QAction* actAdd = nullptr;
    QAction* actRemove = nullptr;
    TProgressDlg* ProgressDlg = nullptr;
    QString DialogFolder;
    std::shared_ptr<TAviProduction> FProduction;
    QString FTarget;       // the file being produced
    bool FFitting = false; // the production fits pictures of another size
    QElapsedTimer FStarted;
};
