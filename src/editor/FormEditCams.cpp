#include "editor/FormEditCams.h"

#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/catalog/EditTree.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/io/FileWriter.h"
#include "core/rules/CamAddress.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

// --- The window ---------------------------------------------------------------------------------

TfoEditCams::TfoEditCams(QWidget* parent)
    : TSDialog(QStringLiteral("foEditCams"), parent,
               Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    // FormClose: the window frees itself; the tray window's slot empties itself when it goes.
    setAttribute(Qt::WA_DeleteOnClose);
    CentreAtFirstShow();
}

TfoEditCams::~TfoEditCams()
{
    // Exports under way finish their files; their outcome has nobody to go to.
    for (const std::shared_ptr<TFileWriter>& writer : Writers)
        writer->ClearEvents();
}

void TfoEditCams::BuildLayout()
{
    setWindowTitle(QStringLiteral("Edit Cams"));
    resize(500, 380);
    setMinimumSize(500, 380);
    setMaximumSize(1000, 1000);

    FTree = new TCamEditTree(this);

    CamList = new TCamListView(this, Qt::MoveAction);
    // A closed category held under a dragged node opens, so its children can be targets.
    CamList->setAutoExpandDelay(700);
    CamList->CanDrop = [this](const QPoint& pos) { return CamListDragOver(CamList->indexAt(pos)); };
    CamList->Drop = [this](const QPoint& pos) { CamListDragDrop(CamList->indexAt(pos)); };
    CamList->setObjectName(QStringLiteral("CamList"));
    CamList->setModel(FTree);
    CamList->setHeaderHidden(true);
    CamList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CamList->setSelectionMode(QAbstractItemView::SingleSelection);
    CamList->setUniformRowHeights(true);
    connect(CamList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfoEditCams::CamListChange);

    auto button = [this](const char* name, const QString& caption, void (TfoEditCams::*click)()) {
        auto* b = Named(new QPushButton(caption, this), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, click);
        return b;
    };
    AddButton = button("AddButton", QStringLiteral("Add Category"), &TfoEditCams::AddButtonClick);
    AddCamButton =
        button("AddCamButton", QStringLiteral("Add Webcam"), &TfoEditCams::AddCamButtonClick);
    ExportButton =
        button("ExportButton", QStringLiteral("Export"), &TfoEditCams::ExportButtonClick);
    DeleteButton =
        button("DeleteButton", QStringLiteral("Delete"), &TfoEditCams::DeleteButtonClick);

    auto label = [this](const char* name, const QString& caption) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto edit = [this](const char* name, void (TfoEditCams::*change)()) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        // As long as an import accepts: longer names would slow the menus and lists.
        e->setMaxLength(MaxFieldLength);
        connect(e, &QLineEdit::textChanged, this, change);
        return e;
    };

    // Pages without tabs: one sheet shows at a time.
    Pages = new QStackedWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));

    CatSheet = new QWidget(Pages);
    CatSheet->setObjectName(QStringLiteral("CatSheet"));
    auto* catForm = new QFormLayout(CatSheet);
    catForm->setContentsMargins(0, 0, 0, 0);
    CatName = edit("CatName", &TfoEditCams::CatNameChange);
    QLabel* catLabel = label("Label1", QStringLiteral("Name"));
    catLabel->setBuddy(CatName);
    catForm->addRow(catLabel, CatName);

    CamSheet = new QWidget(Pages);
    CamSheet->setObjectName(QStringLiteral("CamSheet"));
    auto* camForm = new QFormLayout(CamSheet);
    camForm->setContentsMargins(0, 0, 0, 0);
    CamName = edit("CamName", &TfoEditCams::CamNameChange);
    CamUrl = edit("CamUrl", &TfoEditCams::CamNameChange);
    CamReferer = edit("CamReferer", &TfoEditCams::CamNameChange);
    CamHome = edit("CamHome", &TfoEditCams::CamNameChange);
    CamEmail = edit("CamEmail", &TfoEditCams::CamNameChange);
    CamRefresh = new QSpinBox(this);
    CamRefresh->setObjectName(QStringLiteral("CamRefresh"));
    // Any stored value shows as it is: a value the box clamped would be written back.
    CamRefresh->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    CamRefresh->setMaximumWidth(110);
    connect(CamRefresh, &QSpinBox::valueChanged, this, &TfoEditCams::CamNameChange);
    const std::pair<const char*, const char*> rows[] = {
        {"Label2", "Name"},     {"Label3", "Url"},   {"Label4", "Referer"},
        {"Label5", "Homepage"}, {"Label6", "Email"},
    };
    QLineEdit* const edits[] = {CamName, CamUrl, CamReferer, CamHome, CamEmail};
    for (size_t i = 0; i < std::size(edits); ++i) {
        QLabel* l = label(rows[i].first, QLatin1String(rows[i].second));
        l->setBuddy(edits[i]);
        camForm->addRow(l, edits[i]);
    }
    auto* refreshRow = new QHBoxLayout;
    refreshRow->addWidget(CamRefresh);
    refreshRow->addWidget(label("Label8", QStringLiteral("seconds")));
    refreshRow->addStretch(1);
    QLabel* refreshLabel = label("Label7", QStringLiteral("Refresh"));
    refreshLabel->setBuddy(CamRefresh);
    camForm->addRow(refreshLabel, refreshRow);

    NullSheet = new QWidget(Pages);
    NullSheet->setObjectName(QStringLiteral("NullSheet"));

    Pages->addWidget(CatSheet);
    Pages->addWidget(CamSheet);
    Pages->addWidget(NullSheet);

    auto* buttons = new QGridLayout;
    buttons->addWidget(AddButton, 0, 0);
    buttons->addWidget(AddCamButton, 0, 1);
    buttons->addWidget(ExportButton, 1, 0);
    buttons->addWidget(DeleteButton, 1, 1);

    auto* right = new QVBoxLayout;
    right->addLayout(buttons);
    right->addSpacing(8);
    right->addWidget(Pages, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(CamList, 1);
    top->addLayout(right, 1);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Bevel1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(line);
    layout->addWidget(AddOkCancel("ButtonBox"));
}

void TfoEditCams::FormCreate()
{
    FModified = false;
    Pages->setCurrentWidget(NullSheet);
}

void TfoEditCams::keyPressEvent(QKeyEvent* event)
{
    // Enter belongs to the field being typed in: it neither applies nor closes the editor.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    TSDialog::keyPressEvent(event);
}

void TfoEditCams::LoadTree()
{
    if (CamViewer)
        FTree->LoadTree(CamViewer->Root);
    CamListChange();
}

QModelIndex TfoEditCams::Selected() const
{
    const QModelIndexList selected = CamList->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QModelIndex() : selected.first();
}

void TfoEditCams::Select(const QModelIndex& index)
{
    if (!index.isValid()) {
        CamList->selectionModel()->clearSelection();
        return;
    }
    CamList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    CamList->scrollTo(index);
}

void TfoEditCams::SelectWebcam(const QString& url)
{
    const QModelIndex index = FTree->FindWebcam(url);
    if (index.isValid())
        Select(index);
}

void TfoEditCams::SetModified()
{
    FModified = true;
}

void TfoEditCams::CamListChange()
{
    Updating = true;
    const TEditNode* node = FTree->Node(Selected());
    if (node && node->IsWebcam()) {
        const TCamWebcam& cam = *node->Cam;
        Pages->setCurrentWidget(CamSheet);
        CamName->setText(cam.Name);
        CamUrl->setText(cam.Url);
        CamReferer->setText(cam.Referer);
        CamHome->setText(cam.Homepage);
        CamEmail->setText(cam.Email);
        CamRefresh->setValue(cam.Refresh);
        // Long addresses show from their start.
        for (QLineEdit* edit : {CamName, CamUrl, CamReferer, CamHome, CamEmail})
            edit->setCursorPosition(0);
    } else if (node && node->IsCategory()) {
        Pages->setCurrentWidget(CatSheet);
        CatName->setText(node->Cat->Name);
    } else {
        Pages->setCurrentWidget(NullSheet);
    }
    Updating = false;
}

void TfoEditCams::CamNameChange()
{
    if (Updating)
        return;
    TCamWebcam fields;
    fields.Name = CamName->text();
    fields.Url = CamUrl->text();
    fields.Referer = CamReferer->text();
    fields.Homepage = CamHome->text();
    fields.Email = CamEmail->text();
    fields.Refresh = CamRefresh->value();
    if (FTree->SetWebcamFields(Selected(), fields))
        SetModified();
}

void TfoEditCams::CatNameChange()
{
    if (Updating)
        return;
    if (FTree->SetCategoryName(Selected(), CatName->text()))
        SetModified();
}

void TfoEditCams::AddButtonClick()
{
    const QModelIndex added = FTree->AddCategory(Selected(), NewCat);
    if (!added.isValid())
        return;
    SetModified();
    Select(added);
    CatName->setFocus();
}

void TfoEditCams::AddCamButtonClick()
{
    const QModelIndex added = FTree->AddWebcam(Selected(), NewCam);
    if (!added.isValid())
        return;
    SetModified();
    Select(added);
    CamName->setFocus();
}

void TfoEditCams::DeleteButtonClick()
{
    if (!FTree->Delete(Selected()))
        return;
    SetModified();
    CamListChange();
}

bool TfoEditCams::CamListDragOver(const QModelIndex& target) const
{
    return target.isValid() && Selected().isValid();
}

void TfoEditCams::CamListDragDrop(const QModelIndex& target)
{
    const QModelIndex dragged = Selected();
    TEditNode* node = FTree->Node(dragged);
    if (!node || !FTree->MoveBefore(dragged, target))
        return;
    CamList->expand(FTree->IndexOf(node->Parent));
    SetModified();
    Select(FTree->IndexOf(node));
}

void TfoEditCams::ExportButtonClick()
{
    const TEditNode* node = FTree->Node(Selected());
    if (!node)
        return;
    auto* dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("SaveDialog1"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (node->IsWebcam()) {
        dialog->setNameFilter(CamInfoFilter);
        dialog->setDefaultSuffix(QStringLiteral("cam"));
    } else {
        dialog->setNameFilter(CamListFilter);
        dialog->setDefaultSuffix(QStringLiteral("cal"));
    }
    // A name may hold a slash, which would name a folder, or an address with its password.
    QString name = MaskedAddresses(node->Text());
    name.replace(QLatin1Char('/'), QLatin1Char(' '));
    dialog->selectFile(name);
    connect(dialog, &QFileDialog::fileSelected, this, &TfoEditCams::SaveDialog1Accepted);
    // Window-modal: the tree cannot change until the dialog is answered.
    dialog->open();
}

void TfoEditCams::SaveDialog1Accepted(const QString& path)
{
    int withCredentials = 0;
    const QByteArray document = FTree->ExportDocument(Selected(), &withCredentials);
    if (path.isEmpty() || document.isEmpty())
        return;
    std::shared_ptr<TFileWriter> writer = TFileWriter::Create(path, document);
    TFileWriter* raw = writer.get();
    writer->OnDone = [this, raw, withCredentials](TFileWritten& result) {
        std::erase_if(Writers, [raw](const auto& w) { return w.get() == raw; });
        --FExporting;
        ExportDone(result, withCredentials);
    };
    Writers.push_back(writer);
    ++FExporting;
    if (!writer->Start()) {
        Writers.pop_back();
        --FExporting;
        ExportDone({path, false, QStringLiteral("no thread to write the file")}, withCredentials);
    }
}

void TfoEditCams::ExportDone(const TFileWritten& result, int withCredentials)
{
    // A written file is told of only when it leaves something out: the user names and
    // passwords, which stay in the catalogue.
    if (result.Written && withCredentials == 0)
        return;
    QString text;
    if (result.Written) {
        text = ExportNoCredentials;
        text.replace(QLatin1String("%count%"), QString::number(withCredentials));
    } else {
        qCInfo(lcExchange) << "export to" << result.Path << "failed:" << result.Error;
        text = ExportFailed;
        text.replace(QLatin1String("%error%"), result.Error);
    }
    text.replace(QLatin1String("%path%"), result.Path);
    // Not modal: the editor stays open and usable.
    auto* box = new QMessageBox(result.Written ? QMessageBox::Information : QMessageBox::Warning,
                                windowTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(result.Written ? QStringLiteral("ExportNoticeBox")
                                      : QStringLiteral("ExportFailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void TfoEditCams::ApplyTree()
{
    if (!FModified || !CamViewer)
        return;
    // Every catalogue object is freed and made again from the tree; the tray menu and an open
    // chooser let go of the old ones.
    FTree->ApplyTree(CamViewer->Root);
    if (ITrayHost* host = TrayHost())
        host->RebuildTrayMenu(true);
}

void TfoEditCams::accept()
{
    const bool applied = FModified && CamViewer;
    ApplyTree();
    if (ITrayHost* host = TrayHost()) {
        // ApplyTree rebuilt the menu already.
        if (!applied)
            host->RebuildTrayMenu(true);
        host->SaveOptions();
    } else if (CamViewer && !CamViewer->SaveOptions()) {
        qCInfo(lcSettings) << "the settings could not be saved to" << CamViewer->OptionsPath;
    }
    TSDialog::accept();
}
