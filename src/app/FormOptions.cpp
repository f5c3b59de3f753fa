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
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int PortMinimum = 1;
constexpr int PortMaximum = 65535;
constexpr int PortDesignValue = 8000;

template <class T> T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}
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
    PageControl1 = named(new QTabWidget(this), "PageControl1");

    auto* viewerPage = named(new QWidget, "TabSheet1");
    auto* viewerLayout = new QVBoxLayout(viewerPage);
    AlwaysBox = named(new QCheckBox(QStringLiteral("Always on top")), "AlwaysBox");
    PropBox = named(new QCheckBox(QStringLiteral("Proportional resize")), "PropBox");
    StatusBox = named(new QCheckBox(QStringLiteral("Show status bar")), "StatusBox");
    BeepBox = named(new QCheckBox(QStringLiteral("Beep on new image")), "BeepBox");
    LaunchWindows = named(new QCheckBox(QStringLiteral("Start at log-in")), "LaunchWindows");
    ScrollMosaic = named(new QCheckBox(QStringLiteral("Auto scroll mosaic")), "ScrollMosaic");
    for (QCheckBox* box : {AlwaysBox, PropBox, StatusBox, BeepBox, LaunchWindows, ScrollMosaic})
        viewerLayout->addWidget(box);
    viewerLayout->addStretch();
    PageControl1->addTab(viewerPage, QStringLiteral("Viewer"));

    auto* archivePage = named(new QWidget, "TabSheet2");
    auto* archiveLayout = new QVBoxLayout(archivePage);
    ImagesBox = named(new QCheckBox(QStringLiteral("Archive images")), "ImagesBox");
    ImageSubBox = named(new QCheckBox(QStringLiteral("Create subdirectories")), "ImageSubBox");
    DirectoryLabel = named(new QLabel(QStringLiteral("Directory")), "DirectoryLabel");
    Directory = named(new QLineEdit, "Directory");
    Directory->setMinimumWidth(260);
    DirectoryLabel->setBuddy(Directory);
    DirectoryButton = named(new QToolButton, "DirectoryButton");
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

    auto* proxyPage = named(new QWidget, "TabSheet3");
    auto* proxyLayout = new QFormLayout(proxyPage);
    proxyLayout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    ProxyHost = named(new QLineEdit, "ProxyHost");
    ProxyPort = named(new TSpinField, "ProxyPort");
    ProxyPort->setRange(PortMinimum, PortMaximum);
    ProxyPort->setValue(PortDesignValue);
    ProxyUser = named(new QLineEdit, "ProxyUser");
    ProxyPass = named(new QLineEdit, "ProxyPass");
    ProxyPass->setEchoMode(QLineEdit::Password);
    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "Host"}, {"Label2", "Port"}, {"Label3", "User"}, {"Label4", "Pass"}};
    QWidget* fields[] = {ProxyHost, ProxyPort, ProxyUser, ProxyPass};
    for (int i = 0; i < 4; ++i) {
        auto* label = named(new QLabel(QLatin1String(labels[i].second)), labels[i].first);
        label->setBuddy(fields[i]);
        proxyLayout->addRow(label, fields[i]);
    }
    PageControl1->addTab(proxyPage, QStringLiteral("Proxy"));

    auto* buttons = named(new QDialogButtonBox, "Panel1");
    OkButton =
        named(buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole), "OkButton");
    CancelButton =
        named(buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole),
              "CancelButton");
    // Enter runs the default button (Cancel when it has the focus), Escape rejects.
    OkButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TfoOptions::OkButtonClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &TfoOptions::CancelButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addWidget(buttons);
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

void TfoOptions::OkButtonClick()
{
    StoreControls();
    if (OnStored)
        OnStored();
    accept();
}

void TfoOptions::CancelButtonClick()
{
    reject();
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
