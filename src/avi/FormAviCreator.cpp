#include "avi/FormAviCreator.h"

#include "avi/ProgressDlg.h"
#include "base/FileDialogs.h"
#include "base/ProgramIcon.h"
#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/avi/AviProduction.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// Texts of our own questions and refusals (the writer's failures come with its own messages).
const char* const ReplaceText = "%1 already exists.\nDo you want to replace it?";
const char* const BusyText = "%1 is being written by another AVI Creator.";

} // namespace

TfoAviCreator::TfoAviCreator(QWidget* parent) : TSDialog(QStringLiteral("foAviCreator"), parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    CentreAtFirstShow();
}

TfoAviCreator::~TfoAviCreator()
{
    // A production under way stops and removes its file; nothing reaches this window any more.
    if (FProduction) {
        FProduction->OnProgress = nullptr;
        FProduction->OnDone = nullptr;
        FProduction->Terminate();
        FProduction.reset();
    }
}

void TfoAviCreator::BuildLayout()
{
    setWindowTitle(QStringLiteral("AVI Creator"));
    setWindowIcon(ProgramIcon());

    TipsLabel =
        Named(new QLabel(QStringLiteral("To create an AVI file, you have to select a few files "
                                        "having the same resolution, then click on \"Produce\" and "
                                        "the animation will be saved on your disk."),
                         this),
              "TipsLabel");
    TipsLabel->setWordWrap(true);

    // A drop copies in the view's eyes: the view must not remove the dragged entry afterwards.
    FilesBox = Named(new TFilesBox(this, Qt::CopyAction), "FilesBox");
    FilesBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FilesBox->CanDrop = [this](const QPoint& pos) { return FilesBoxDragOver(pos); };
    FilesBox->Drop = [this](const QPoint& pos) { FilesBoxDragDrop(pos); };
    FilesBox->setMinimumSize(305, 200);
    // Every entry is one line: a thousand files are laid out without measuring each.
    FilesBox->setUniformItemSizes(true);

    AddButton = Named(new QPushButton(QStringLiteral("&Add..."), this), "AddButton");
    RemoveButton = Named(new QPushButton(QStringLiteral("&Remove"), this), "RemoveButton");
    ProduceButton = Named(new QPushButton(QStringLiteral("&Produce..."), this), "ProduceButton");
    connect(AddButton, &QPushButton::clicked, this, &TfoAviCreator::AddButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TfoAviCreator::RemoveButtonClick);
    connect(ProduceButton, &QPushButton::clicked, this, &TfoAviCreator::ProduceButtonClick);

    PauseLabel = Named(new QLabel(QStringLiteral("Pause"), this), "PauseLabel");
    PauseSpin = Named(new QSpinBox(this), "PauseSpin");
    // Every frame lasts at least a millisecond: a frame time of 0 gives a video no player can
    // time.
    PauseSpin->setRange(1, 10000000);
    PauseSpin->setValue(500);
    PauseLabel->setBuddy(PauseSpin);
    Pause2Label =
        Named(new QLabel(QStringLiteral("milliseconds between each frame"), this), "Pause2Label");

    FormatLabel = Named(new QLabel(QStringLiteral("Format"), this), "FormatLabel");
    RawRadio = Named(new QRadioButton(QStringLiteral("&Uncompressed"), this), "RawRadio");
    MjpegRadio = Named(new QRadioButton(QStringLiteral("&JPEG (compact)"), this), "MjpegRadio");
    auto* formats = new QButtonGroup(this);
    formats->addButton(RawRadio);
    formats->addButton(MjpegRadio);
    RawRadio->setChecked(true);
    FitBox = Named(new QCheckBox(QStringLiteral("&Fit pictures of another size"), this), "FitBox");
    connect(MjpegRadio, &QRadioButton::toggled, this, &TfoAviCreator::FormatChanged);

    actAdd = Named(new QAction(QStringLiteral("&Add..."), this), "actAdd");
    actAdd->setShortcut(QKeySequence(Qt::Key_Insert));
    actAdd->setShortcutContext(Qt::WindowShortcut);
    connect(actAdd, &QAction::triggered, this, &TfoAviCreator::actAddExecute);
    actRemove = Named(new QAction(QStringLiteral("&Remove"), this), "actRemove");
    actRemove->setShortcut(QKeySequence(Qt::Key_Delete));
    actRemove->setShortcutContext(Qt::WindowShortcut);
    connect(actRemove, &QAction::triggered, this, &TfoAviCreator::actRemoveExecute);
    addAction(actAdd);
    addAction(actRemove);

    ProgressDlg = CreateForm<TProgressDlg>(this);
    connect(ProgressDlg, &TProgressDlg::CancelRequested, this, &TfoAviCreator::CancelProduction);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(AddButton);
    buttons->addWidget(RemoveButton);
    buttons->addStretch();
    buttons->addWidget(ProduceButton);
    auto* middle = new QHBoxLayout;
    middle->addWidget(FilesBox, 1);
    middle->addLayout(buttons);
    auto* pause = new QHBoxLayout;
    pause->addWidget(PauseLabel);
    pause->addWidget(PauseSpin);
    pause->addWidget(Pause2Label);
    pause->addStretch();
    auto* format = new QHBoxLayout;
    format->addWidget(FormatLabel);
    format->addWidget(RawRadio);
    format->addWidget(MjpegRadio);
    format->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TipsLabel);
    layout->addLayout(middle, 1);
    layout->addLayout(pause);
    layout->addLayout(format);
    layout->addWidget(FitBox);
    // A fixed-size dialog, as large as its controls need.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfoAviCreator::FormCreate()
{
    // Both file dialogs start where the viewers archive their images.
    DialogFolder = CamViewer ? CamViewer->SavePath : QString();
    if (DialogFolder.isEmpty())
        DialogFolder = TCamViewer::DefaultSavePath();
    if (CamViewer) {
        (CamViewer->AviCompact ? MjpegRadio : RawRadio)->setChecked(true);
        FitBox->setChecked(CamViewer->AviFit);
    }
    FormatChanged();
}

void TfoAviCreator::FormatChanged()
{
    // JPEG frames are always fitted; the box keeps the choice for uncompressed ones.
    FitBox->setEnabled(!MjpegRadio->isChecked() && !Producing());
}

void TfoAviCreator::StoreChoices()
{
    if (!CamViewer || (CamViewer->AviCompact == MjpegRadio->isChecked() &&
                       CamViewer->AviFit == FitBox->isChecked()))
        return;
    CamViewer->AviCompact = MjpegRadio->isChecked();
    CamViewer->AviFit = FitBox->isChecked();
    // The tray window's save reports a failure to the user; without it the failure is logged.
    if (ITrayHost* host = TrayHost())
        host->SaveOptions();
    else if (!CamViewer->SaveOptions())
        qCInfo(lcSettings) << "the settings could not be saved to" << CamViewer->OptionsPath;
}

QStringList TfoAviCreator::Files() const
{
    QStringList files;
    for (int i = 0; i < FilesBox->count(); ++i)
        files << FilesBox->item(i)->text();
    return files;
}

void TfoAviCreator::AddFiles(const QStringList& files)
{
    QStringList listed;
    FilesBox->addItems(AviCreatorRules::NewEntries(Files(), files, &listed));
    if (!listed.isEmpty()) {
        QString text = AviAlreadyListed;
        ShowMessage(QMessageBox::Information,
                    text.replace(QLatin1String("%names%"), listed.join(MessageLineBreak)));
    }
}

void TfoAviCreator::AddButtonClick()
{
    // File names are case-sensitive here: the filter takes the usual spellings.
    QFileDialog* dialog =
        NewFileDialog(this, QStringLiteral("OpenPictureDialog1"), QFileDialog::AcceptOpen,
                      QFileDialog::ExistingFiles, JpegFilesFilter, DialogFolder);
    connect(dialog, &QFileDialog::filesSelected, this, &TfoAviCreator::AddFiles);
    dialog->open();
}

void TfoAviCreator::actAddExecute()
{
    if (!Producing())
        AddButtonClick();
}

void TfoAviCreator::RemoveButtonClick()
{
    // From the bottom up, so that the rows still to remove keep their numbers.
    for (int i = FilesBox->count() - 1; i >= 0; --i)
        if (FilesBox->item(i)->isSelected())
            delete FilesBox->takeItem(i);
}

void TfoAviCreator::actRemoveExecute()
{
    if (!Producing())
        RemoveButtonClick();
}

bool TfoAviCreator::FilesBoxDragOver(const QPoint& pos) const
{
    return FilesBox->currentRow() >= 0 && FilesBox->viewport()->rect().contains(pos);
}

void TfoAviCreator::FilesBoxDragDrop(const QPoint& pos)
{
    const int current = FilesBox->currentRow();
    const int target = AviCreatorRules::DropTarget(FilesBox->indexAt(pos).row(), FilesBox->count());
    QStringList files = Files();
    if (!AviCreatorRules::ExchangeEntries(files, current, target))
        return;
    FilesBox->item(current)->setText(files[current]);
    FilesBox->item(target)->setText(files[target]);
    FilesBox->setCurrentRow(target);
}

void TfoAviCreator::ProduceButtonClick()
{
    if (Producing())
        return;
    QFileDialog* dialog = NewFileDialog(this, QStringLiteral("SaveDialog"), QFileDialog::AcceptSave,
                                        QFileDialog::AnyFile, AviFileFilter, DialogFolder);
    dialog->setDefaultSuffix(QStringLiteral("avi"));
    // The replacement is confirmed once, by SaveDialogAccepted.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    connect(dialog, &QFileDialog::fileSelected, this, &TfoAviCreator::SaveDialogAccepted);
    dialog->open();
}

void TfoAviCreator::SaveDialogAccepted(const QString& chosen)
{
    if (Producing() || chosen.isEmpty())
        return;
    const QString target = AviCreatorRules::TargetFileName(chosen);
    if (TAviProduction::IsWriting(target)) {
        ShowMessage(QMessageBox::Warning, QString::fromLatin1(BusyText).arg(target));
        return;
    }
    if (!QFileInfo::exists(target)) {
        Produce(target);
        return;
    }
    auto* question = new QMessageBox(QMessageBox::Question, windowTitle(),
                                     QString::fromLatin1(ReplaceText).arg(target),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName(QStringLiteral("ReplaceQuestion"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setDefaultButton(QMessageBox::No);
    connect(question, &QMessageBox::finished, this, [this, target](int answer) {
        if (answer == QMessageBox::Yes)
            Produce(target);
    });
    question->open();
}

void TfoAviCreator::Produce(const QString& target)
{
    if (Producing())
        return;
    const QStringList files = Files();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize();
    std::shared_ptr<TAviProduction> production =
        TAviProduction::Create(files, target, static_cast<std::uint32_t>(PauseSpin->value()),
                               screenSize.width(), screenSize.height());
    if (!production) {
        ShowMessage(QMessageBox::Warning, QString::fromLatin1(BusyText).arg(target));
        return;
    }
    production->ProgressInterval = ProgressInterval;
    production->Codec = MjpegRadio->isChecked() ? TAviCodec::Mjpeg : TAviCodec::Raw;
    production->Fit = FitBox->isChecked();
    FFitting = MjpegRadio->isChecked() || FitBox->isChecked();
    StoreChoices();
    const QPointer<TfoAviCreator> self(this);
    production->OnProgress = [self](int done, int total) {
        if (self)
            self->ProductionProgress(done, total);
    };
    production->OnDone = [self](const TAviProductionResult& result) {
        if (self)
            self->ProductionDone(result);
    };
    FProduction = production;
    FTarget = target;
    SetProducing(true);
    ProgressDlg->Start(static_cast<int>(files.size()));
    ProductionProgress(0, static_cast<int>(files.size()));
    FStarted.start();
    production->Start();
}

void TfoAviCreator::ProductionProgress(int done, int total)
{
    QString text = AviFramesDone;
    text.replace(QLatin1String("%done%"), QString::number(done))
        .replace(QLatin1String("%total%"), QString::number(total));
    const qint64 left =
        AviCreatorRules::TimeLeft(done, total, FStarted.isValid() ? FStarted.elapsed() : -1);
    if (left >= 0) {
        QString time = AviTimeLeft;
        text += QStringLiteral(", ") +
                time.replace(QLatin1String("%time%"), AviCreatorRules::DurationText(left));
    }
    ProgressDlg->SetProgress(done, text);
}

void TfoAviCreator::ProductionDone(const TAviProductionResult& result)
{
    FProduction.reset();
    ProgressDlg->Finish();
    SetProducing(false);
    switch (result.Kind) {
    case TAviProductionResult::Done: {
        // Where the file went and how large it is, and what became of pictures of another size.
        QString detail = AviFileWritten;
        detail.replace(QLatin1String("%path%"), FTarget)
            .replace(QLatin1String("%size%"), AviCreatorRules::SizeText(result.Report.FileBytes));
        if (result.Report.Resized > 0) {
            QString resized = FFitting ? AviPicturesFitted : AviPicturesCut;
            detail += MessageLineBreak + resized.replace(QLatin1String("%count%"),
                                                         QString::number(result.Report.Resized));
        }
        ShowMessage(QMessageBox::NoIcon, AviGenerated, detail);
        break;
    }
    case TAviProductionResult::Failed:
        // The writer's own message, and which file it is about.
        ShowMessage(QMessageBox::Warning, result.Message, FTarget);
        break;
    case TAviProductionResult::Cancelled:
        break;
    }
}

void TfoAviCreator::CancelProduction()
{
    // The production stops after its current frame and reports Cancelled, which hides the
    // progress window and gives the controls back.
    if (FProduction)
        FProduction->Terminate();
}

void TfoAviCreator::SetProducing(bool producing)
{
    for (QWidget* control : {static_cast<QWidget*>(FilesBox), static_cast<QWidget*>(AddButton),
                             static_cast<QWidget*>(RemoveButton),
                             static_cast<QWidget*>(ProduceButton), static_cast<QWidget*>(PauseSpin),
                             static_cast<QWidget*>(RawRadio), static_cast<QWidget*>(MjpegRadio)})
        control->setEnabled(!producing);
    FormatChanged();
    actAdd->setEnabled(!producing);
    actRemove->setEnabled(!producing);
}

QMessageBox* TfoAviCreator::ShowMessage(int icon, const QString& text, const QString& detail)
{
    auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon), windowTitle(), text,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!detail.isEmpty())
        box->setInformativeText(detail);
    box->open();
    return box;
}

void TfoAviCreator::closeEvent(QCloseEvent* event)
{
    // During production the window does not respond; the progress window's Cancel stops it.
    if (Producing() && !TFormList::ShuttingDown()) {
        event->ignore();
        return;
    }
    TSDialog::closeEvent(event);
}

void TfoAviCreator::reject()
{
    if (!Producing())
        TSDialog::reject();
}
