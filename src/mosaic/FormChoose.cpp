#include "mosaic/FormChoose.h"

#include "base/StatusBar.h"
#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/catalog/Catalog.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/rules/CamAddress.h"
#include "core/rules/CamHint.h"
#include "core/rules/MenuColumns.h"
#include "core/rules/MosaicGeometry.h"
#include "mosaic/ThumbnailTick.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>

using namespace MosaicGeometry;

namespace {
constexpr int PathRole = Qt::UserRole;         // tree node: positions from the root down
constexpr int UrlRole = Qt::UserRole;          // list item: the webcam's Url
constexpr int PositionRole = Qt::UserRole + 1; // list item: its position in the category
constexpr int OnlineRole = Qt::UserRole + 2;   // list item: its webcam counts as online

constexpr QRgb Magenta = 0xFFFF00FF;

// A list item's caption: its webcam's name (shortened in the middle when it is long), with
// " (online)" in the language of the moment.
void captionItem(QListWidgetItem* item, const TCamWebcam* webcam)
{
    if (!webcam)
        return;
    const QString name = MenuCaption(MaskedAddresses(webcam->Name));
    item->setText(item->data(OnlineRole).toBool() ? name + OnlineText : name);
}

// A thumbnail's size in device pixels.
QSize ThumbSize(qreal pixelRatio)
{
    return (QSizeF(ThumbWidth, ThumbHeight) * pixelRatio).toSize();
}

QImage ErrorPicture()
{
    static const QImage picture(QStringLiteral(":/ERROR"));
    return picture;
}
} // namespace

TfoChoose::TfoChoose(QWidget* parent) : TSForm(QStringLiteral("foChoose"), parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    CentreAtFirstShow();
}

TfoChoose::~TfoChoose()
{
    StopWorker(Thread);
}

void TfoChoose::BuildLayout()
{
    setWindowTitle(QStringLiteral("Choose a Webcam"));
    resize(520, 375);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(4);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);

    CamTree = new QTreeWidget(Splitter1);
    CamTree->setObjectName(QStringLiteral("CamTree"));
    CamTree->setHeaderHidden(true);
    CamTree->setIndentation(19);
    CamTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CamTree->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(CamTree, &QTreeWidget::itemSelectionChanged, this, &TfoChoose::CamTreeChange);

    CamList = new QListWidget(Splitter1);
    CamList->setObjectName(QStringLiteral("CamList"));
    CamList->setViewMode(QListView::IconMode);
    CamList->setIconSize(QSize(ThumbWidth, ThumbHeight));
    CamList->setMovement(QListView::Static);
    // Icons line up again, from the top, whenever the list changes size.
    CamList->setResizeMode(QListView::Adjust);
    CamList->setFlow(QListView::LeftToRight);
    CamList->setWrapping(true);
    CamList->setWordWrap(true);
    // Every item takes the room of a thumbnail and two lines of caption, picture or not yet.
    const int line = CamList->fontMetrics().height();
    CamList->setGridSize(QSize(ThumbWidth + 24, ThumbHeight + 2 * line + 12));
    CamList->setSpacing(4);
    CamList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    CamList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CamList->setContextMenuPolicy(Qt::CustomContextMenu);
    CamList->viewport()->installEventFilter(this);
    connect(CamList, &QListWidget::itemDoubleClicked, this, &TfoChoose::CamListDblClick);

    Splitter1->addWidget(CamTree);
    Splitter1->addWidget(CamList);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({121, 520 - 121 - 4});
    layout->addWidget(Splitter1, 1);

    // Shown instead of the tree and the list while the catalogue is empty.
    WelcomePanel = new QWidget(this);
    WelcomePanel->setObjectName(QStringLiteral("WelcomePanel"));
    auto* welcome = new QVBoxLayout(WelcomePanel);
    welcome->addStretch(1);
    WelcomeLabel = new QLabel(QStringLiteral("The list of webcams is empty."), WelcomePanel);
    WelcomeLabel->setObjectName(QStringLiteral("WelcomeLabel"));
    WelcomeLabel->setAlignment(Qt::AlignCenter);
    WelcomeLabel->setWordWrap(true);
    welcome->addWidget(WelcomeLabel);
    AddCamButton = new QPushButton(QStringLiteral("&Add a webcam..."), WelcomePanel);
    AddCamButton->setObjectName(QStringLiteral("AddCamButton"));
    connect(AddCamButton, &QPushButton::clicked, this, &TfoChoose::AddCamButtonClick);
    ImportButton = new QPushButton(QStringLiteral("&Import a list..."), WelcomePanel);
    ImportButton->setObjectName(QStringLiteral("ImportButton"));
    connect(ImportButton, &QPushButton::clicked, this, &TfoChoose::ImportButtonClick);
    for (QPushButton* button : {AddCamButton, ImportButton}) {
        button->setMinimumWidth(200);
        welcome->addWidget(button, 0, Qt::AlignHCenter);
    }
    welcome->addStretch(2);
    WelcomePanel->hide();
    layout->addWidget(WelcomePanel, 1);

    StatusBar = new TStatusBar(this);
    StatusBar->AddPanel(-1);
    layout->addWidget(StatusBar);

    auto newAction = [this](const char* name, const QString& caption,
                            const QList<QKeySequence>& keys, void (TfoChoose::*handler)()) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    actView =
        newAction("actView", QStringLiteral("&View..."),
                  {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                  &TfoChoose::actViewExecute);
    actEdit = newAction("actEdit", QStringLiteral("&Edit..."), {QKeySequence(Qt::CTRL | Qt::Key_E)},
                        &TfoChoose::actEditExecute);
    actDelete = newAction("actDelete", QStringLiteral("&Delete"), {QKeySequence(Qt::Key_Delete)},
                          &TfoChoose::actDeleteExecute);
    actClose = AddCloseOnEscape();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(actView);
    PopupMenu1->addAction(actEdit);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    PopupMenu1->addAction(actDelete);
    connect(CamList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(CamList->viewport()->mapToGlobal(pos));
    });
}

void TfoChoose::FormCreate()
{
    ReloadTree();
}

void TfoChoose::closeEvent(QCloseEvent* event)
{
    // FormClose: the tray window's slot empties itself when the window goes.
    StopWorker(Thread);
    TSForm::closeEvent(event);
}

void TfoChoose::SetMainMenu(QMenu* menu)
{
    if (!MainMenu1) {
        MainMenu1 = new QMenuBar(this);
        MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
        layout()->setMenuBar(MainMenu1);
    }
    MainMenu1->clear();
    if (menu)
        MainMenu1->addMenu(menu);
}

void TfoChoose::FillTree(QTreeWidgetItem* parent, const TCamCategory& category, QList<int> path)
{
    for (int i = 0; i < category.Categories.Count(); ++i) {
        const TCamCategory& child = *category.Categories.Items(i);
        QList<int> childPath = path;
        childPath << i;
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(CamTree);
        node->setText(0, MenuCaption(child.Name));
        node->setToolTip(0, MenuHint(child.Name));
        node->setData(0, PathRole, QVariant::fromValue(childPath));
        FillTree(node, child, childPath);
    }
}

void TfoChoose::ReloadTree()
{
    // Emptying the tree leaves no category chosen: the list empties and the thread stops.
    CamTree->clear();
    CamTreeChange();
    if (!CamViewer)
        return;
    const TCamCategory& root = CamViewer->Root;
    // The top level's own webcams: a node of their own, with the empty path of the root.
    if (root.Webcams.Count() > 0) {
        auto* node = new QTreeWidgetItem(CamTree);
        node->setText(0, TopLevelCams);
        node->setData(0, PathRole, QVariant::fromValue(QList<int>()));
    }
    FillTree(nullptr, root, {});
    const bool empty = root.Webcams.Count() == 0 && root.Categories.Count() == 0;
    Splitter1->setVisible(!empty);
    WelcomePanel->setVisible(empty);
    if (empty)
        AddCamButton->setFocus();
}

TCamCategory* TfoChoose::CurrentCategory() const
{
    const QList<QTreeWidgetItem*> selected = CamTree->selectedItems();
    if (selected.isEmpty() || !CamViewer)
        return nullptr;
    const QVariant data = selected.first()->data(0, PathRole);
    if (!data.isValid())
        return nullptr;
    // An empty path is the top level's node.
    TCamCategory* category = &CamViewer->Root;
    for (int position : data.value<QList<int>>()) {
        if (position < 0 || position >= category->Categories.Count())
            return nullptr;
        category = category->Categories.Items(position);
    }
    return category;
}

TCamWebcam* TfoChoose::WebcamOf(const QListWidgetItem* item) const
{
    TCamCategory* category = CurrentCategory();
    if (!item || !category)
        return nullptr;
    const QString url = item->data(UrlRole).toString();
    const int position = item->data(PositionRole).toInt();
    if (position >= 0 && position < category->Webcams.Count() &&
        category->Webcams.Items(position)->Url == url)
        return category->Webcams.Items(position);
    for (int i = 0; i < category->Webcams.Count(); ++i)
        if (category->Webcams.Items(i)->Url == url)
            return category->Webcams.Items(i);
    return nullptr;
}

void TfoChoose::CamTreeChange()
{
    // 1. Empty list and images; 2. the chosen category; 3. its webcams, in order.
    CamList->clear();
    FCamImages.clear();
    const TCamCategory* category = CurrentCategory();
    if (category) {
        // Until its picture comes, an item shows a clear thumbnail, so that its caption already
        // stands where it will stay.
        QPixmap blank(ThumbSize(devicePixelRatioF()));
        blank.setDevicePixelRatio(devicePixelRatioF());
        blank.fill(Qt::transparent);
        const QIcon waiting(blank);
        for (int i = 0; i < category->Webcams.Count(); ++i) {
            const TCamWebcam& webcam = *category->Webcams.Items(i);
            auto* item =
                new QListWidgetItem(waiting, MenuCaption(MaskedAddresses(webcam.Name)), CamList);
            item->setData(UrlRole, webcam.Url);
            item->setData(PositionRole, i);
        }
    }
    // 4. The old thread goes; 5. a new one for a category with webcams.
    StopWorker(Thread);
    if (CamList->count() == 0) {
        StatusBar->Panel(0)->clear();
        return;
    }
    Thread = NewThumbnailThread();
    Thread->Repeat = false; // each thumbnail once
    // Pictures come at the screen's pixels: sharp on a screen that scales.
    Thread->SetPictureBox(ThumbSize(devicePixelRatioF()));
    Thread->KeepData = false;
    for (int i = 0; i < CamList->count(); ++i) {
        const QListWidgetItem* item = CamList->item(i);
        const TCamWebcam* webcam = WebcamOf(item);
        TMireCam cam;
        cam.Url = item->data(UrlRole).toString();
        cam.Referer = webcam ? webcam->Referer : QString();
        cam.Interval = webcam ? webcam->Refresh : 1;
        Thread->Cams.push_back(cam);
    }
    Thread->OnImage = [this](TMireImage& image) { ImageArrived(image); };
    Thread->OnNext = [this](const TMireNext& next) { NextWebcam(next); };
    Thread->OnDone = [this] {
        StatusBar->Panel(0)->clear();
        Thread.reset();
    };
    Thread->Start();
}

void TfoChoose::NextWebcam(const TMireNext& next)
{
    const QListWidgetItem* item =
        next.Index >= 0 && next.Index < CamList->count() ? CamList->item(next.Index) : nullptr;
    const TCamWebcam* webcam = item ? WebcamOf(item) : nullptr;
    StatusBar->Panel(0)->setText(Refreshing + (webcam ? MenuCaption(MaskedAddresses(webcam->Name))
                                               : item ? item->text()
                                                      : MaskedAddress(next.Url)));
}

void TfoChoose::ImageArrived(TMireImage& image)
{
    try {
        if (image.Index < 0 || image.Index >= CamList->count())
            return;
        QListWidgetItem* item = CamList->item(image.Index);
        // The date of this answer, in memory only: none after a failure or without the header.
        if (TCamWebcam* webcam = WebcamOf(item))
            webcam->LastUpdate = image.LastModified;
        // The last failure stays in the hover text until an answer comes.
        if (!image.Failure.Empty())
            FFailures.insert(image.Url, image.Failure);
        else if (image.Received)
            FFailures.remove(image.Url);
        // The caption is made from the name and the state, in the language of the moment (and
        // again when the language changes).
        item->setData(OnlineRole, RecentlyUpdated(image.LastModified.toSecsSinceEpoch(),
                                                  image.LastModified.isValid(),
                                                  QDateTime::currentSecsSinceEpoch()));
        captionItem(item, WebcamOf(item));
        QImage picture;
        if (!image.Picture.IsEmpty())
            picture = QImage(image.Picture.Pixels.data(), image.Picture.Width, image.Picture.Height,
                             image.Picture.Stride, QImage::Format_RGB888);
        while (FCamImages.size() < image.Index)
            FCamImages.append(MakeThumbnail(QImage(), devicePixelRatioF()));
        FCamImages.append(MakeThumbnail(picture, devicePixelRatioF()));
        item->setIcon(FCamImages.last());
    } catch (const std::exception& e) {
        qCInfo(lcUi) << "chooser thumbnail not taken:" << e.what();
    } catch (...) {
        qCInfo(lcUi) << "chooser thumbnail not taken";
    }
}

QPixmap TfoChoose::MakeThumbnail(const QImage& picture, qreal pixelRatio)
{
    const QImage source = picture.isNull() ? ErrorPicture() : picture;
    QImage thumb(ThumbSize(pixelRatio), QImage::Format_ARGB32);
    thumb.fill(Magenta);
    const QRect target = FitRect(thumb.rect(), source.size());
    if (!target.isEmpty()) {
        QPainter painter(&thumb);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, source);
    }
    // Magenta is the transparent colour: the bars beside or above the picture vanish.
    for (int y = 0; y < thumb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(thumb.scanLine(y));
        for (int x = 0; x < thumb.width(); ++x)
            if (line[x] == Magenta)
                line[x] = 0;
    }
    // Drawn at the thumbnail's size in the list: one pixel of it to one of the screen.
    thumb.setDevicePixelRatio(pixelRatio);
    return QPixmap::fromImage(thumb);
}

QString TfoChoose::CamListInfoTip(QListWidgetItem* item) const
{
    const TCamWebcam* webcam = WebcamOf(item);
    if (!webcam)
        return {};
    QString date = CamHintDate(webcam->LastUpdate, QLocale());
    if (date.isEmpty())
        date = Unknow;
    QString hint = CamHintText(CamHint, HintName(webcam->Name), webcam->Url, webcam->Email,
                               webcam->Homepage, date);
    const auto failure = FFailures.constFind(webcam->Url);
    if (failure != FFailures.constEnd())
        hint += QLatin1Char('\n') + FailureHintLine(*failure, QDateTime::currentDateTime());
    return hint;
}

bool TfoChoose::eventFilter(QObject* watched, QEvent* event)
{
    // A new language: the captions take its " (online)".
    if (watched == CamList->viewport() && event->type() == QEvent::LanguageChange) {
        for (int i = 0; i < CamList->count(); ++i)
            captionItem(CamList->item(i), WebcamOf(CamList->item(i)));
        return false;
    }
    if (watched == CamList->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (QListWidgetItem* item = CamList->itemAt(help->pos())) {
            QString text = CamListInfoTip(item);
            text.replace(MessageLineBreak, QStringLiteral("\n"));
            QToolTip::showText(help->globalPos(), text, CamList->viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return TSForm::eventFilter(watched, event);
}

QList<QListWidgetItem*> TfoChoose::SelectedInOrder() const
{
    QList<QListWidgetItem*> items;
    for (int i = 0; i < CamList->count(); ++i)
        if (CamList->item(i)->isSelected())
            items << CamList->item(i);
    return items;
}

void TfoChoose::CamListDblClick()
{
    const QList<QListWidgetItem*> selected = SelectedInOrder();
    if (selected.isEmpty() || !TrayHost())
        return;
    if (TCamWebcam* webcam = WebcamOf(selected.first()))
        TrayHost()->OpenViewer(webcam, true);
}

void TfoChoose::actViewExecute()
{
    // Each item's webcam is looked up when its turn comes.
    for (QListWidgetItem* item : SelectedInOrder())
        if (TCamWebcam* webcam = WebcamOf(item); webcam && TrayHost())
            TrayHost()->OpenViewer(webcam, true);
}

void TfoChoose::actEditExecute()
{
    // The editor opens (or comes to the front) with the first selected webcam selected.
    const QList<QListWidgetItem*> selected = SelectedInOrder();
    if (selected.isEmpty() || !TrayHost())
        return;
    TrayHost()->EditWebcam(selected.first()->data(UrlRole).toString());
}

void TfoChoose::actDeleteExecute()
{
    if (!CurrentCategory())
        return;
    QStringList urls;
    QStringList names;
    for (QListWidgetItem* item : SelectedInOrder()) {
        if (const TCamWebcam* webcam = WebcamOf(item)) {
            urls << webcam->Url;
            names << MenuCaption(MaskedAddresses(webcam->Name));
        }
    }
    if (urls.isEmpty())
        return;
    // Nothing can bring a deleted webcam back: the user says which ones go first. The question
    // lists a screenful of names at most.
    constexpr int ShownNames = 20;
    QString shown = names.mid(0, ShownNames).join(MessageLineBreak);
    if (names.size() > ShownNames)
        shown += MessageLineBreak + QStringLiteral("...");
    QString text = DeleteCamsAsk;
    text.replace(QLatin1String("%names%"), shown);
    text.replace(MessageLineBreak, QStringLiteral("\n"));
    auto* box = new QMessageBox(QMessageBox::Question, windowTitle(), text,
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("DeleteCamsBox"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, this, [this, box, urls] {
        if (box->clickedButton() == box->button(QMessageBox::Yes))
            DeleteWebcams(urls);
    });
    box->open();
}

void TfoChoose::DeleteWebcams(const QStringList& urls)
{
    TCamCategory* category = CurrentCategory();
    if (!category)
        return;
    // The first of each Url, as the list showed it; from the last to the first, so the
    // positions of the ones still to go stay right.
    for (auto url = urls.crbegin(); url != urls.crend(); ++url)
        for (int i = 0; i < category->Webcams.Count(); ++i)
            if (category->Webcams.Items(i)->Url == *url) {
                category->Webcams.Remove(category->Webcams.Items(i));
                break;
            }
    CamTreeChange();
    if (TrayHost()) {
        TrayHost()->CloseViewers(urls);
        TrayHost()->RebuildTrayMenu(false);
        TrayHost()->SaveOptions();
    }
}

void TfoChoose::AddCamButtonClick()
{
    if (TrayHost())
        TrayHost()->AddWebcam();
}

void TfoChoose::ImportButtonClick()
{
    // Not modal to the program: the dialog closes with the window.
    auto* dialog = new QFileDialog(this, ImportListTitle, QDir::homePath(), ImportListFilter);
    dialog->setObjectName(QStringLiteral("ImportDialog1"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [](const QString& path) {
        if (TrayHost())
            TrayHost()->ImportList(path);
    });
    dialog->open();
}
