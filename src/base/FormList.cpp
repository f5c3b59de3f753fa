#include "base/FormList.h"

#include "core/rules/MenuColumns.h"

#include <QFont>
#include <QVariant>
#include <QWidget>

namespace {
constexpr const char* wholeTitle = "pvWholeTitle";
bool shuttingDown = false;

QList<QWidget*>& windowList()
{
    static QList<QWidget*> list;
    return list;
}

bool nameTaken(const QString& name)
{
    for (const QWidget* window : windowList())
        if (window->objectName() == name)
            return true;
    return false;
}
} // namespace

void TFormList::Add(QWidget* window, const QString& kind)
{
    QString name = kind;
    for (int i = 1; nameTaken(name); ++i)
        name = kind + QLatin1Char('_') + QString::number(i);
    window->setObjectName(name);
    windowList().append(window);
}

void TFormList::Remove(QWidget* window)
{
    windowList().removeOne(window);
}

const QList<QWidget*>& TFormList::Windows()
{
    return windowList();
}

bool TFormList::ShuttingDown()
{
    return shuttingDown;
}

void TFormList::SetShuttingDown(bool value)
{
    shuttingDown = value;
}

void TFormList::SetTitle(QWidget* window, const QString& name)
{
    window->setProperty(wholeTitle, name);
    window->setWindowTitle(MenuCaption(name));
}

QString TFormList::WholeTitle(const QWidget* window)
{
    const QVariant whole = window->property(wholeTitle);
    return whole.isValid() ? whole.toString() : window->windowTitle();
}

void TFormList::ApplyProgramFont(QWidget* window)
{
    QFont font = window->font();
    if (font.family() != QLatin1String("Arial")) {
        font.setFamily(QStringLiteral("Arial"));
        window->setFont(font);
    }
}
