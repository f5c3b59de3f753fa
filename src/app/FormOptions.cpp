#include "app/FormOptions.h"

#include "base/ProgramIcon.h"
#include "core/catalog/Settings.h"
#include "core/rules/LanguageValues.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int PortMinimum = 1;
constexpr int PortMaximum = 65535;
constexpr int PortDesignValue = 8000;
} // namespace

TSpinField::TSpinField(QWidget* parent) : QSpinBox(parent) {}

int TSpinField::Value() const
{
    return SpinFieldValue(cleanText(), minimum(), maximum());
}

QValidator::State TSpinField::validate(QString& input, int& pos) const
{
    Q_UNUSED(input);
    Q_UNUSED(pos);
    // Any text is taken; it is read when it is used.
    return QValidator::Acceptable;
}

int TSpinField::valueFromText(const QString& text) const
{
    return SpinFieldValue(text, minimum(), maximum());
}

TfoOptions::TfoOptions(QWidget* parent) : TSDialog(QStringLiteral("foOptions"), parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(ProgramIcon());
}

TfoOptions::~TfoOptions() = default;

void TfoOptions::BuildLayout()
{
    setWindowTitle(QStringLiteral("Options"));
    PageControl1 = Named(new QTabWidget(this), "PageControl1");

    auto* viewerPage = Named(new QWidget, "TabSheet1");
    auto* viewerLayout = new QVBoxLayout(viewerPage);
    AlwaysBox = Named(new QCheckBox(QStringLiteral("Always on top")), "AlwaysBox");
    PropBox = Named(new QCheckBox(QStringLiteral("Proportional resize")), "PropBox");
    StatusBox = Named(new QCheckBox(QStringLiteral("Show status bar")), "StatusBox");
    BeepBox = Named(new QCheckBox(QStringLiteral("Beep on new image")), "BeepBox");
    LaunchWindows = Named(new QCheckBox(QStringLiteral("Start at log-in")), "LaunchWindows");
    ScrollMosaic = Named(new QCheckBox(QStringLiteral("Auto scroll mosaic")), "ScrollMosaic");
    for (QCheckBox* box : {AlwaysBox, PropBox, StatusBox, BeepBox, LaunchWindows, ScrollMosaic})
        viewerLayout->addWidget(box);
    viewerLayout->addStretch();
    PageControl1->addTab(viewerPage, QStringLiteral("Viewer"));

    auto* archivePage = Named(new QWidget, "TabSheet2");
    auto* archiveLayout = new QVBoxLayout(archivePage);
    ImagesBox = Named(new QCheckBox(QStringLiteral("Archive images")), "ImagesBox");
    ImageSubBox = Named(new QCheckBox(QStringLiteral("Create subdirectories")), "ImageSubBox");
    DirectoryLabel = Named(new QLabel(QStringLiteral("Directory")), "DirectoryLabel");
    Directory = Named(new QLineEdit, "Directory");
    Directory->setMinimumWidth(260);
    DirectoryLabel->setBuddy(Directory);
    DirectoryButton = Named(new QToolButton, "DirectoryButton");
    DirectoryButton->setText(QStringLiteral("..."));
    connect(DirectoryButton, &QToolButton::clicked, this, &TfoOptions::DirectoryButtonClick);
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(Directory, 1);
    directoryRow->addWidget(DirectoryButton);
    archiveLayout->addWidget(ImagesBox);
    archiveLayout->addWidget(ImageSubBox);
    archiveLayout->addWidget(DirectoryLabel);
    archiveLayout->addLayout(directoryRow);
    archiveLayout->addStretch();
    PageControl1->addTab(archivePage, QStringLiteral("Archive"));

    auto* proxyPage = Named(new QWidget, "TabSheet3");
    auto* proxyLayout = new QFormLayout(proxyPage);
    proxyLayout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    ProxyHost = Named(new QLineEdit, "ProxyHost");
    ProxyPort = Named(new TSpinField, "ProxyPort");
    ProxyPort->setRange(PortMinimum, PortMaximum);
    ProxyPort->setValue(PortDesignValue);
    ProxyUser = Named(new QLineEdit, "ProxyUser");
    ProxyPass = Named(new QLineEdit, "ProxyPass");
    ProxyPass->setEchoMode(QLineEdit::Password);
    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "Host"}, {"Label2", "Port"}, {"Label3", "User"}, {"Label4", "Pass"}};
    QWidget* fields[] = {ProxyHost, ProxyPort, ProxyUser, ProxyPass};
    for (int i = 0; i < 4; ++i) {
        auto* label = Named(new QLabel(QLatin1String(labels[i].second)), labels[i].first);
        label->setBuddy(fields[i]);
        proxyLayout->addRow(label, fields[i]);
    }
    PageControl1->addTab(proxyPage, QStringLiteral("Proxy"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    // Enter runs the default button (Cancel when it has the focus), Escape rejects.
    layout->addWidget(AddOkCancel("Panel1"));
    // Fixed dialog border: the window takes the size its layout needs and cannot be resized.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfoOptions::FormCreate()
{
    PageControl1->setCurrentIndex(0);
}

void TfoOptions::LoadControls()
{
    if (!CamViewer)
        return;
    AlwaysBox->setChecked(CamViewer->AlwaysOnTop);
    PropBox->setChecked(CamViewer->PropResize);
    StatusBox->setChecked(CamViewer->Status);
    BeepBox->setChecked(CamViewer->Beep);
    ImagesBox->setChecked(CamViewer->SaveImages);
    ImageSubBox->setChecked(CamViewer->SubDirectory);
    Directory->setText(CamViewer->SavePath);
    LaunchWindows->setChecked(CamViewer->LaunchWindows);
    ScrollMosaic->setChecked(CamViewer->ScrollMosaic);
    ProxyHost->setText(CamViewer->ProxyHost());
    // setValue brings a value outside the range to the nearest bound (0 shows as 1).
    ProxyPort->setValue(CamViewer->ProxyPort());
    ProxyUser->setText(CamViewer->ProxyUser());
    ProxyPass->setText(CamViewer->ProxyPass());
}

void TfoOptions::StoreControls()
{
    if (!CamViewer)
        return;
    CamViewer->AlwaysOnTop = AlwaysBox->isChecked();
    CamViewer->PropResize = PropBox->isChecked();
    CamViewer->Status = StatusBox->isChecked();
    CamViewer->Beep = BeepBox->isChecked();
    CamViewer->SaveImages = ImagesBox->isChecked();
    CamViewer->SubDirectory = ImageSubBox->isChecked();
    CamViewer->SavePath = Directory->text();
    // Writes or removes the autostart entry at once.
    CamViewer->SetLaunchWindows(LaunchWindows->isChecked());
    CamViewer->ScrollMosaic = ScrollMosaic->isChecked();
    CamViewer->SetProxy(ProxyHost->text(), ProxyPort->Value(), ProxyUser->text(),
                        ProxyPass->text());
}

void TfoOptions::accept()
{
    StoreControls();
    if (OnStored)
        OnStored();
    TSDialog::accept();
}

void TfoOptions::DirectoryButtonClick()
{
    auto* dialog = new QFileDialog(this, DirectoryLabel->text(), Directory->text());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    QPointer<QLineEdit> field = Directory;
    connect(dialog, &QFileDialog::fileSelected, this, [field](const QString& folder) {
        if (field)
            field->setText(folder);
    });
    dialog->open();
}
