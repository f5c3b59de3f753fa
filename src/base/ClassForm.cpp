#include "base/ClassForm.h"

#include "base/FormList.h"
#include "base/Translator.h"

namespace {
// The TSForm windows of the program's window list, in the same order.
QList<TSForm*>& formList()
{
    static QList<TSForm*> list;
    return list;
}
bool shuttingDown = false;
} // namespace

TSForm::TSForm(const QString& kind, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    TFormList::Add(this, kind);
    formList().append(this);
}

TSForm::~TSForm()
{
    RemoveFromList(this);
}

const QList<TSForm*>& TSForm::Forms()
{
    return formList();
}

void TSForm::RemoveFromList(TSForm* form)
{
    formList().removeOne(form);
    TFormList::Remove(form);
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
    TFormList::ApplyProgramFont(this);
    QWidget::showEvent(event);
}
