#include "app/FormAbout.h"

#include "app/SiteAddresses.h"
#include "base/ClassTranslate.h"
#include "core/catalog/Product.h"
#include "platform/Desktop.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
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

    auto link = [this](const char* name, const QString& address) {
        auto* label = new QLabel(address, this);
        label->setObjectName(QLatin1String(name));
        label->setToolTip(address);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        setLinkLook(label, Qt::blue, false);
        return label;
    };
    Label2 = link("Label2", MakerAddress());
    Label3 = link("Label3", ProductAddress());

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    // Enter runs OK; Escape closes the box as well.
    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName(QStringLiteral("Panel1"));
    buttons->setCenterButtons(true);
    OkButton = buttons->addButton(QStringLiteral("&Ok"), QDialogButtonBox::AcceptRole);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TfoAbout::OkButtonClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NameLabel);
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
}

void TfoAbout::OkButtonClick()
{
    accept();
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
