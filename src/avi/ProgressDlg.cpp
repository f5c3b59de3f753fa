#include "avi/ProgressDlg.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TProgressDlg::TProgressDlg(QWidget* parent)
    : TSForm(QStringLiteral("ProgressDlg"), parent,
             Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool,
             TListing::Unlisted)
{
}

void TProgressDlg::BuildLayout()
{
    auto* panel = Named(new QFrame(this), "Panel1");
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(2);

    ProgressLabel = Named(new QLabel(panel), "ProgressLabel");
    ProgressBar = Named(new QProgressBar(panel), "ProgressBar");
    ProgressBar->setTextVisible(false);
    CancelButton = Named(new QPushButton(QStringLiteral("Cancel"), panel), "CancelButton");
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        CancelButton->setEnabled(false);
        emit CancelRequested();
    });
    StatusLabel = Named(new QLabel(panel), "StatusLabel");

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(ProgressBar, 1);
    barRow->addWidget(CancelButton);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(10, 6, 10, 8);
    panelLayout->addWidget(ProgressLabel);
    panelLayout->addLayout(barRow);
    panelLayout->addWidget(StatusLabel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);

    // The label follows the caption; set after the label exists.
    setWindowTitle(QStringLiteral("Progress"));
    resize(314, 60);
}

TProgressDlg::~TProgressDlg() = default;

void TProgressDlg::Start(int maximum)
{
    ProgressBar->setRange(0, std::max(1, maximum));
    ProgressBar->setValue(0);
    StatusLabel->clear();
    CancelButton->setEnabled(true);
    resize(std::max(314, sizeHint().width()), std::max(60, sizeHint().height()));
    CentreOnScreen(this, parentWidget() ? parentWidget()->screen() : nullptr);
    show();
    raise();
}

void TProgressDlg::SetPosition(int position)
{
    ProgressBar->setValue(std::min(position, ProgressBar->maximum()));
}

void TProgressDlg::SetProgress(int position, const QString& text)
{
    StatusLabel->setText(text);
    SetPosition(position);
}

QString TProgressDlg::StatusText() const
{
    return StatusLabel->text();
}

void TProgressDlg::Finish()
{
    ProgramCloses = true;
    close();
    ProgramCloses = false;
}

void TProgressDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange && ProgressLabel)
        ProgressLabel->setText(windowTitle());
    TSForm::changeEvent(event);
}

void TProgressDlg::closeEvent(QCloseEvent* event)
{
    if (ProgramCloses) {
        event->accept(); // hides; the creator owns the window
    } else {
        event->ignore();
    }
}

void TProgressDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape does not close it either; Cancel is the way to stop.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    TSForm::keyPressEvent(event);
}
