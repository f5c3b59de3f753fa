#include "base/ClassForm.h"

#include "base/ClassTranslate.h"

#include <QFont>

namespace {
QList<TSForm*>& windowList()
{
    static QList<TSForm*> list;
    return list;
}
bool shuttingDown = false;

QString uniqueObjectName(const QString& kind)
{
    auto taken = [](const QString& name) {
        for (TSForm* f : windowList())
            if (f->objectName() == name)
                return true;
        return false;
    };
    if (!taken(kind))
        return kind;
    for (int i = 1;; ++i) {
        const QString name = kind + QLatin1Char('_') + QString::number(i);
        if (!taken(name))
            return name;
    }
}
} // namespace

TSForm::TSForm(const QString& kind, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setObjectName(uniqueObjectName(kind));
    windowList().append(this);
}

TSForm::~TSForm()
{
    RemoveFromList(this);
}

const QList<TSForm*>& TSForm::Forms()
{
    return windowList();
}

void TSForm::RemoveFromList(TSForm* form)
{
    windowList().removeOne(form);
}

bool TSForm::ShuttingDown()
{
    return shuttingDown;
}

void TSForm::SetShuttingDown(bool value)
{
    shuttingDown = value;
}

void TSForm::Construct()
{
    if (Constructed)
        return;
    Constructed = true;
    BuildLayout();
    PvTranslator().TranslateForm(this);
    FormCreate();
}

void TSForm::showEvent(QShowEvent* event)
{
    // The program's windows use Arial (fontconfig substitutes where it is missing); controls with
    // a font of their own keep it.
    QFont f = font();
    if (f.family() != QLatin1String("Arial")) {
        f.setFamily(QStringLiteral("Arial"));
        setFont(f);
    }
    QWidget::showEvent(event);
}
