#include "avi/ProgressDlg.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TProgressDlg::TProgressDlg(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
{
    setObjectName(QStringLiteral("ProgressDlg"));
    Panel = new QFrame(this);
    Panel->setObjectName(QStringLiteral("Panel1"));
    Panel->setFrameShape(QFrame::Panel);
    Panel->setFrameShadow(QFrame::Raised);
    Panel->setLineWidth(2);

    ProgressLabel = new QLabel(Panel);
    ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    ProgressBar = new QProgressBar(Panel);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setTextVisible(false);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), Panel);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(CancelButton, &QPushButton::clicked, this, &TProgressDlg::CancelButtonClick);
    StatusLabel = new QLabel(Panel);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(ProgressBar, 1);
    barRow->addWidget(CancelButton);
    auto* panelLayout = new QVBoxLayout(Panel);
    panelLayout->setContentsMargins(10, 6, 10, 8);
    panelLayout->addWidget(ProgressLabel);
    panelLayout->addLayout(barRow);
    panelLayout->addWidget(StatusLabel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Panel);

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
    if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
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

void TProgressDlg::CancelButtonClick()
{
    CancelButton->setEnabled(false);
    emit CancelRequested();
}

void TProgressDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange && ProgressLabel)
        ProgressLabel->setText(windowTitle());
    QWidget::changeEvent(event);
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
    QWidget::keyPressEvent(event);
}
