#include "base/StatusBar.h"

#include <QHBoxLayout>

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setTextFormat(Qt::PlainText);
}

void TStatusPanel::SetWidth(int width)
{
    FWidth = width;
    if (width >= 0) {
        setFixedWidth(width);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    } else {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
}

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatusBar"));
    Layout = new QHBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(1);
}

TStatusPanel* TStatusBar::AddPanel(int width, const QString& text)
{
    auto* panel = new TStatusPanel(this);
    panel->setText(text);
    panel->SetWidth(width);
    Layout->addWidget(panel);
    FPanels.append(panel);
    return panel;
}

TStatusPanel* TStatusBar::Panel(int index) const
{
    return index >= 0 && index < FPanels.size() ? FPanels[index] : nullptr;
}
