#include "base/ClassDialog.h"

#include "base/FormList.h"
#include "base/Translator.h"

TSDialog::TSDialog(const QString& kind, QWidget* parent) : QDialog(parent)
{
    TFormList::Add(this, kind);
}

TSDialog::~TSDialog()
{
    TFormList::Remove(this);
}

void TSDialog::Construct()
{
    if (Constructed)
        return;
    Constructed = true;
    BuildLayout();
    PvTranslator().TranslateForm(this);
    FormCreate();
}

void TSDialog::showEvent(QShowEvent* event)
{
    TFormList::ApplyProgramFont(this);
    QDialog::showEvent(event);
}
