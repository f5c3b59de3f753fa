#include "app/FormAbout.h"

#include "SiteConfig.h"
#include "app/SiteAddresses.h"
#include "base/Translator.h"
#include "core/Versions.h"
#include "core/catalog/Product.h"
#include "core/rules/CamAddress.h"
#include "platform/Desktop.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {
void setLinkLook(QLabel* label, const QColor& color, bool underline)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(underline);
    label->setFont(font);
}
} // namespace

TfoAbout::TfoAbout(QWidget* parent) : TSDialog(QStringLiteral("foAbout"), parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // No owner: a language applied later does not reach an open About box.
    setProperty(TPvTranslator::UnownedProperty, true);
}

TfoAbout::~TfoAbout() = default;

void TfoAbout::BuildLayout()
{
    QFont arial = font();
    arial.setFamily(QStringLiteral("Arial"));
    setFont(arial);

    NameLabel = new QLabel(this);
    NameLabel->setObjectName(QStringLiteral("NameLabel"));
    NameLabel->setAlignment(Qt::AlignCenter);
    QFont title(QStringLiteral("Arial"));
    title.setBold(true);
    title.setPixelSize(19);
    NameLabel->setFont(title);

    // The version of the program and of the libraries it runs with; the licence.
    auto plain = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        return label;
    };
    VersionLabel = plain("VersionLabel", QStringLiteral("Version %version%"));
    LibrariesLabel = plain("LibrariesLabel", QString());
    LicenceLabel = plain("LicenceLabel", QStringLiteral("Licence: %licence%"));
    LicenceLabel->setWordWrap(true);

    // The links show what they open; their hints show the address.
    auto link = [this](const char* name, const QString& caption, const QString& address) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setToolTip(ReadableAddress(address));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        setLinkLook(label, Qt::blue, false);
        return label;
    };
    Label2 = link("Label2", QStringLiteral("Norvane Home Page"), MakerAddress());
    Label3 = link("Label3", QStringLiteral("Pictavo Home Page"), ProductAddress());

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    // Enter runs OK; Escape closes the box as well.
    QDialogButtonBox* buttons = AddOkCancel("Panel1", false);
    buttons->setCenterButtons(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NameLabel);
    layout->addWidget(VersionLabel);
    layout->addWidget(LibrariesLabel);
    layout->addWidget(LicenceLabel);
    layout->addSpacing(8);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addSpacing(8);
    layout->addWidget(Bevel1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfoAbout::FormCreate()
{
    // After translation: the title always shows the product title.
    setWindowTitle(ProductTitle);
    NameLabel->setText(ProductTitle);
    // The translated lines take their values now.
    QString version = VersionLabel->text();
    version.replace(QLatin1String("%version%"), QStringLiteral(PICTAVO_VERSION));
    VersionLabel->setText(version);
    QString licence = LicenceLabel->text();
    licence.replace(QLatin1String("%licence%"), QStringLiteral(PICTAVO_LICENCE));
    LicenceLabel->setText(licence);
    LibrariesLabel->setText(QStringLiteral("Qt %1 \u00b7 libcurl %2 \u00b7 libjpeg-turbo %3")
                                .arg(QtVersion(), CurlVersion(), JpegVersion()));
}

void TfoAbout::Label2MouseEnter(QLabel* label)
{
    setLinkLook(label, Qt::red, true);
}

void TfoAbout::Label2MouseLeave(QLabel* label)
{
    setLinkLook(label, Qt::blue, false);
}

void TfoAbout::Label2Click(QLabel* label)
{
    // The program's own address, never the label's caption or hint, which a language file sets.
    OpenUrl(label == Label3 ? ProductAddress() : MakerAddress());
}

bool TfoAbout::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (label && (label == Label2 || label == Label3)) {
        switch (event->type()) {
        case QEvent::Enter:
            Label2MouseEnter(label);
            break;
        case QEvent::Leave:
            Label2MouseLeave(label);
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
                Label2Click(label);
            break;
        default:
            break;
        }
    }
    return TSDialog::eventFilter(watched, event);
}
