#include "app/FormMain.h"

// --- Language, options and about box ---
#include "app/FormAbout.h"
#include "app/FormOptions.h"
#include "app/SiteAddresses.h"
#include "avi/FormAviCreator.h"
#include "base/ClassTranslate.h"
// ---

#include "base/ActionLink.h"
#include "base/ClassForm.h"
#include "core/Log.h"
#include "core/catalog/ClassCategories.h"
#include "core/catalog/ClassExchange.h"
#include "core/catalog/ClassUtils.h"
#include "core/catalog/ClassViewer.h"
#include "core/catalog/Product.h"
#include "core/rules/MenuColumns.h"
#include "platform/Desktop.h"
#include "viewer/FormViewer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QTimer>
#include <climits>

// Resources of the static gui library are registered by name, outside any namespace.
static void initResources()
{
    Q_INIT_RESOURCE(pictavo);
}

namespace {
TfoViewer* asViewer(QObject* form)
{
    return qobject_cast<TfoViewer*>(form);
}

// The open viewers, in window-list order. Guarded: a command may close some of them.
QList<QPointer<TfoViewer>> openViewers()
{
    QList<QPointer<TfoViewer>> viewers;
    for (TSForm* form : TSForm::Forms())
        if (TfoViewer* viewer = asViewer(form))
            viewers.append(viewer);
    return viewers;
}
} // namespace

TfoCamMain::TfoCamMain(const TStartup& startup, QWidget* parent) : QWidget(parent), Startup(startup)
{
    initResources();
    setObjectName(QStringLiteral("foCamMain"));
    setWindowTitle(ProductName);

    CreateActions();
    CreateTrayPopup();

    // The icon goes into the notification area before the creation handler runs. Where there is no
    // notification area yet, Qt shows the icon as soon as one appears.
    TrayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/pictavo.png")), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setContextMenu(TrayPopup);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &TfoCamMain::TrayIconActivated);
    TrayIcon->show();

    // The desktop's quit request would close the viewers one by one, each saving the settings
    // without itself: it runs Exit instead.
    qApp->installEventFilter(this);

    SetTrayHost(this);
    FormCreate();
    StartStateDump();
}

TfoCamMain::~TfoCamMain()
{
    ShutDown();
    if (TrayHost() == this)
        SetTrayHost(nullptr);
}

QAction* TfoCamMain::NewAction(const char* name, const QString& caption,
                               void (TfoCamMain::*handler)())
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QAction* TfoCamMain::NewSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

void TfoCamMain::CreateActions()
{
    actCloseMenu =
        NewAction("actCloseMenu", tr("&Close this menu"), &TfoCamMain::actCloseMenuExecute);
    actAviCreator =
        NewAction("actAviCreator", tr("&AVI Creator..."), &TfoCamMain::actAviCreatorExecute);
    actEdit = NewAction("actEdit", tr("Edit List..."), &TfoCamMain::actEditExecute);
    actMire = NewAction("actMire", tr("&Mosaic..."), &TfoCamMain::actMireExecute);
    actOptions = NewAction("actOptions", tr("&Options..."), &TfoCamMain::actOptionsExecute);
    actLanguage = NewAction("actLanguage", tr("&Language"), &TfoCamMain::actLanguageExecute);
    actWindow = NewAction("actWindow", tr("Windows"), &TfoCamMain::actWindowExecute);
    actExit = NewAction("actExit", tr("&Exit"), &TfoCamMain::actExitExecute);
    actSiteNorvane =
        NewAction("actSiteNorvane", tr("Norvane Home Page"), &TfoCamMain::actSiteSupportExecute);
    actSitePictavo =
        NewAction("actSitePictavo", tr("Pictavo Home Page"), &TfoCamMain::actSiteSupportExecute);
    actSiteSupport =
        NewAction("actSiteSupport", tr("Support Home Page"), &TfoCamMain::actSiteSupportExecute);
    actAbout = NewAction("actAbout", tr("About..."), &TfoCamMain::actAboutExecute);
    actRestoreAll =
        NewAction("actRestoreAll", tr("&Restore All"), &TfoCamMain::actRestoreAllExecute);
    actHideAll = NewAction("actHideAll", tr("&Hide All"), &TfoCamMain::actHideAllExecute);
    actSnoozeAll = NewAction("actSnoozeAll", tr("&Snooze All"), &TfoCamMain::actSnoozeAllExecute);
    actCloseAll = NewAction("actCloseAll", tr("&Close All"), &TfoCamMain::actCloseAllExecute);

    // Each site action holds its address in its hint.
    actSiteNorvane->setToolTip(MakerAddress());
    actSitePictavo->setToolTip(ProductAddress());
    actSiteSupport->setToolTip(SupportAddress());

    // The windows behind these commands are not part of the program yet.
    for (QAction* later : {actEdit, actMire})
        later->setEnabled(false);
}

void TfoCamMain::CreateTrayPopup()
{
    TrayPopup = new QMenu(this);
    TrayPopup->setObjectName(QStringLiteral("TrayPopup"));
    // Separators stand exactly where they are put, also next to each other.
    TrayPopup->setSeparatorsCollapsible(false);

    QAction* closeMenu = AddLinkedItem(TrayPopup, "Closethismenu1", actCloseMenu);
    QFont bold = closeMenu->font();
    bold.setBold(true);
    closeMenu->setFont(bold);
    TrayPopup->setDefaultAction(closeMenu);
    NewSeparator(TrayPopup, "N6");

    Lastviewed1 = TrayPopup->addMenu(tr("Last viewed"));
    Lastviewed1->setObjectName(QStringLiteral("Lastviewed1"));
    Nocam1 = Lastviewed1->addAction(tr("No cam viewed yet"));
    Nocam1->setObjectName(QStringLiteral("Nocam1"));
    Nocam1->setEnabled(false);
    connect(Lastviewed1, &QMenu::aboutToShow, this, &TfoCamMain::Lastviewed1Click);

    BeforeItems = NewSeparator(TrayPopup, "BeforeItems");
    AfterItems = NewSeparator(TrayPopup, "AfterItems");
    AddLinkedItem(TrayPopup, "AVICreator1", actAviCreator);
    AddLinkedItem(TrayPopup, "EditWebcams1", actEdit);
    AddLinkedItem(TrayPopup, "Mire1", actMire);
    AddLinkedItem(TrayPopup, "Options1", actOptions);
    NewSeparator(TrayPopup, "N1");

    Help1 = TrayPopup->addMenu(tr("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->setSeparatorsCollapsible(false);
    AddLinkedItem(Help1, "NorvaneHomePage1", actSiteNorvane);
    AddLinkedItem(Help1, "PictavoHomePage1", actSitePictavo);
    AddLinkedItem(Help1, "SupportHomePage1", actSiteSupport);
    NewSeparator(Help1, "N4");
    AddLinkedItem(Help1, "About1", actAbout);

    // The language files fill this sub-menu; until they do it stays empty and greyed.
    Language1 = TrayPopup->addMenu(actLanguage->text());
    Language1->setObjectName(QStringLiteral("Language1"));
    connect(actLanguage, &QAction::changed, Language1,
            [this] { Language1->setTitle(actLanguage->text()); });
    Language1->menuAction()->setEnabled(false);

    Windows1 = TrayPopup->addMenu(actWindow->text());
    Windows1->setObjectName(QStringLiteral("Windows1"));
    Windows1->setSeparatorsCollapsible(false);
    connect(actWindow, &QAction::changed, Windows1,
            [this] { Windows1->setTitle(actWindow->text()); });
    connect(Windows1, &QMenu::aboutToShow, actWindow, &QAction::trigger);
    AddLinkedItem(Windows1, "Closeall1", actRestoreAll);
    AddLinkedItem(Windows1, "actHideAll1", actHideAll);
    AddLinkedItem(Windows1, "actSnoozeAll1", actSnoozeAll);
    AddLinkedItem(Windows1, "actCloseAll1", actCloseAll);
    NewSeparator(Windows1, "N5");
    Dummy2 = Windows1->addAction(NoWindow);
    Dummy2->setObjectName(QStringLiteral("Dummy2"));
    Dummy2->setEnabled(false);

    NewSeparator(TrayPopup, "N2");
    AddLinkedItem(TrayPopup, "Exit1", actExit);
}

void TfoCamMain::FormCreate()
{
    // 1. The controller, with the roads back to this window.
    CamViewer = new TCamViewer;
    CamViewer->OnOpenViewer = [this](TCamWebcam* webcam, bool applySavedState) {
        OpenViewer(webcam, applySavedState);
    };
    CamViewer->OnOpenViewers = [] {
        // Newest window first.
        std::vector<TCamWebcam> cams;
        const QList<TSForm*>& forms = TSForm::Forms();
        for (auto it = forms.crbegin(); it != forms.crend(); ++it)
            if (TfoViewer* viewer = asViewer(*it))
                cams.push_back(viewer->Webcam());
        return cams;
    };
    // 2. Settings and catalogue; reopens the viewers that were open at the last save.
    CamViewer->LoadOptions();
    // 3. The message variables that language files address.
    RegisterMessageVariables(Variables);
    // 4. The saved language, 5. the Language sub-menu.
    PvTranslator().SetVariables(this, &Variables);
    ApplySavedLanguage();
    BuildLanguageMenu();
    // 6. The catalogue in the menu.
    RebuildTrayMenu();
    // 7. The first-launch notice, until the settings have been saved once.
    if (CamViewer->FirstLaunch && TrayIcon->supportsMessages())
        TrayIcon->showMessage(StartTitle + ProductName, StartText, QSystemTrayIcon::NoIcon, 5000);
    // 8. The hint.
    TrayIcon->setToolTip(ProductTitle);
    // 9. File types; a failure is reported and the start goes on.
    if (Startup.RegisterTypes)
        RegisterFileTypes();
    // 10. A file named on the command line.
    if (!Startup.Arguments.isEmpty())
        ImportFile(Startup.Arguments.first());
}

void TfoCamMain::RegisterFileTypes()
{
    const QString error = ::RegisterFileTypes(QCoreApplication::applicationFilePath());
    if (error.isEmpty())
        return;
    qCInfo(lcSettings) << "file types not registered:" << error;
    // Not modal: the start (and the import of a file named on the command line) goes on.
    auto* box = new QMessageBox(QMessageBox::Warning, ProductName, error, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void TfoCamMain::WMCopyData(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    if (!info.isFile() || (suffix != QLatin1String("cam") && suffix != QLatin1String("cal")))
        return;
    ImportFile(path);
}

void TfoCamMain::ImportFile(const QString& path)
{
    if (!CamViewer)
        return;
    TImportCallbacks callbacks;
    callbacks.RebuildTrayMenu = [this](bool refreshChooser) { RebuildTrayMenu(refreshChooser); };
    callbacks.OpenViewer = [this](TCamWebcam* webcam, bool applySavedState) {
        OpenViewer(webcam, applySavedState);
    };
    TCamExchange::ImportFile(path, CamViewer->Root, callbacks);
}

void TfoCamMain::ShutDown()
{
    if (ShutDownDone)
        return;
    ShutDownDone = true;
    // Windows destroyed now do not save the settings again; each viewer lets go of its thread.
    TSForm::SetShuttingDown(true);
    const QList<TSForm*> forms = TSForm::Forms();
    for (TSForm* form : forms) {
        TSForm::RemoveFromList(form);
        delete form;
    }
    if (TrayIcon)
        TrayIcon->hide();
    delete CamViewer;
    CamViewer = nullptr;
    TSForm::SetShuttingDown(false);
}

void TfoCamMain::StartStateDump()
{
    // Desktop tests read the state of the running program from this file; nothing else uses it.
    const QString path = qEnvironmentVariable("PICTAVO_STATE_DUMP");
    if (path.isEmpty())
        return;
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [path] {
        QByteArray text;
        for (const QPointer<TfoViewer>& viewer : openViewers()) {
            text += "viewer name=\"" + viewer->objectName().toUtf8() + "\" title=\"" +
                    viewer->windowTitle().toUtf8() +
                    "\" visible=" + QByteArray::number(viewer->isVisible()) +
                    " images=" + QByteArray::number(viewer->ImageCount()) + " countdown=\"" +
                    viewer->CountdownText().toUtf8() +
                    "\" geometry=" + QByteArray::number(viewer->x()) + "," +
                    QByteArray::number(viewer->y()) + "," + QByteArray::number(viewer->width()) +
                    "," + QByteArray::number(viewer->height()) + "\n";
        }
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
            file.commit();
    });
    timer->start(200);
}

// --- The catalogue region ---------------------------------------------------------------------

QAction* TfoCamMain::AddWebcamItem(QMenu* menu, TCamWebcam* webcam, QAction* before)
{
    auto* item = new QAction(webcam->Name, menu);
    item->setProperty(WebcamProperty, QVariant::fromValue(static_cast<void*>(webcam)));
    connect(item, &QAction::triggered, this, [this, item] { WebcamItemClick(item); });
    menu->insertAction(before, item);
    return item;
}

void TfoCamMain::RebuildTrayMenu(bool refreshChooser)
{
    // 1. Out with everything between the two separators; items are never reused.
    const QList<QAction*> actions = TrayPopup->actions();
    const qsizetype from = actions.indexOf(BeforeItems) + 1;
    const qsizetype to = actions.indexOf(AfterItems);
    for (qsizetype i = from; i < to; ++i) {
        QAction* old = actions[i];
        TrayPopup->removeAction(old);
        if (QMenu* sub = old->menu())
            sub->deleteLater();
        if (old->parent() == TrayPopup)
            old->deleteLater();
    }
    if (!CamViewer)
        return;
    // 2. Top-level categories as sub-menus, 3. then the top-level webcams, without columns.
    // A catalogue taller than the screen would push the menu into columns off its right edge:
    // the entries past what fits go into nested "More" sub-menus.
    const TCamCategory& root = CamViewer->Root;
    const int categories = root.Categories.Count();
    const int entries = categories + root.Webcams.Count();
    const int fixedLines = int(TrayPopup->actions().size());
    const std::vector<int> levels =
        MenuLevels(entries, MenuLines(TrayPopup) - fixedLines, MenuLines(TrayPopup));
    QMenu* menu = TrayPopup;
    QAction* before = AfterItems;
    int entry = 0;
    for (size_t level = 0; level < levels.size(); ++level) {
        if (level > 0) {
            auto* more = new QMenu(tr("More"), menu);
            more->setObjectName(QLatin1String(MoreMenuName));
            menu->insertMenu(before, more);
            menu = more;
            before = nullptr;
        }
        for (int n = 0; n < levels[level]; ++n, ++entry) {
            if (entry < categories) {
                const TCamCategory* category = root.Categories.Items(entry);
                auto* sub = new QMenu(category->Name, menu);
                menu->insertMenu(before, sub);
                FillCategoryMenu(sub, *category);
            } else {
                AddWebcamItem(menu, root.Webcams.Items(entry - categories), before);
            }
        }
    }
    // 4. An open chooser reloads its tree (the chooser window is not part of the program yet).
    Q_UNUSED(refreshChooser);
}

int TfoCamMain::MenuLines(const QMenu* menu) const
{
    // The height of an item as the menu's style lays it out, against the work area of the screen
    // the menu opens on, less the menu's frame and margins.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return INT_MAX;
    QStyleOptionMenuItem option;
    option.initFrom(menu);
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.text = QStringLiteral("Xg");
    option.font = menu->font();
    const QFontMetrics metrics(menu->font());
    const QSize content(metrics.horizontalAdvance(option.text), metrics.height());
    QStyle* style = menu->style();
    const int itemHeight =
        std::max(1, style->sizeFromContents(QStyle::CT_MenuItem, &option, content, menu).height());
    const int frame = 2 * (style->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, menu) +
                           style->pixelMetric(QStyle::PM_MenuVMargin, nullptr, menu));
    return std::max(0, (screen->availableGeometry().height() - frame) / itemHeight);
}

void TfoCamMain::FillCategoryMenu(QMenu* menu, const TCamCategory& category)
{
    for (int i = 0; i < category.Categories.Count(); ++i) {
        const TCamCategory* child = category.Categories.Items(i);
        auto* sub = new QMenu(child->Name, menu);
        menu->addMenu(sub);
        FillCategoryMenu(sub, *child);
    }
    for (int i = 0; i < category.Webcams.Count(); ++i) {
        QAction* item = AddWebcamItem(menu, category.Webcams.Items(i), nullptr);
        if (StartsMenuColumn(i))
            item->setProperty(ColumnBreakProperty, true);
    }
    if (menu->isEmpty()) {
        QAction* empty = menu->addAction(EmptyCat);
        empty->setEnabled(false);
    }
}

void TfoCamMain::WebcamItemClick(QAction* item)
{
    if (!CamViewer)
        return;
    auto* webcam = static_cast<TCamWebcam*>(item->property(WebcamProperty).value<void*>());
    // The catalogue may have changed since the menu was built: only a webcam that is still in it
    // is opened.
    QStringList path;
    if (!webcam || !CamViewer->Root.PathOf(webcam, path))
        return;
    OpenViewer(webcam, false);
}

void TfoCamMain::OpenViewer(TCamWebcam* webcam, bool applySavedState)
{
    if (!webcam || !CamViewer)
        return;
    CamViewer->AddLastUsed(*webcam);
    for (const QPointer<TfoViewer>& viewer : openViewers()) {
        if (viewer && viewer->Webcam().Url == webcam->Url) {
            // Already open: shown again, and nothing is saved.
            viewer->ShowAgain();
            return;
        }
    }
    auto* viewer = new TfoViewer;
    PvTranslator().TranslateForm(viewer);
    viewer->SetupWebcam(*webcam, applySavedState);
    SaveOptions();
}

bool TfoCamMain::SaveOptions()
{
    if (!CamViewer)
        return false;
    if (SaveBatch > 0) {
        SavePending = true;
        return true;
    }
    if (CamViewer->SaveOptions()) {
        SaveFailureReported = false;
        return true;
    }
    qCInfo(lcSettings) << "the settings could not be saved to" << CamViewer->OptionsPath;
    if (!SaveFailureReported) {
        SaveFailureReported = true;
        ReportSaveFailure();
    }
    return false;
}

void TfoCamMain::ReportSaveFailure()
{
    const QString text =
        tr("The settings could not be saved to %1. Changes made from now on may be lost.")
            .arg(QDir::toNativeSeparators(CamViewer->OptionsPath));
    if (TrayIcon && TrayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable() &&
        TrayIcon->supportsMessages()) {
        TrayIcon->showMessage(ProductName, text, QSystemTrayIcon::Warning, 10000);
        return;
    }
    // Not modal: a save happens inside commands that must not wait for the user.
    auto* box = new QMessageBox(QMessageBox::Warning, ProductName, text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("SaveFailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

template <typename Command> void TfoCamMain::OverAllViewers(Command command)
{
    ++SaveBatch;
    for (const QPointer<TfoViewer>& viewer : openViewers())
        if (viewer)
            command(viewer.data());
    if (--SaveBatch == 0 && SavePending) {
        SavePending = false;
        SaveOptions();
    }
}

// --- Sub-menus rebuilt as they open -----------------------------------------------------------

void TfoCamMain::Lastviewed1Click()
{
    const QList<QAction*> items = Lastviewed1->actions();
    for (QAction* old : items) {
        if (old == Nocam1)
            continue;
        Lastviewed1->removeAction(old);
        old->deleteLater();
    }
    bool any = false;
    if (CamViewer) {
        for (int i = 0; i < CamViewer->LastUsedCount(); ++i) {
            if (TCamWebcam* webcam = CamViewer->LastUsedWebcam(i)) {
                AddWebcamItem(Lastviewed1, webcam, nullptr);
                any = true;
            }
        }
    }
    Nocam1->setVisible(!any);
}

void TfoCamMain::actWindowExecute()
{
    const QList<QAction*> items = Windows1->actions();
    for (qsizetype i = items.size() - 1; i >= 6; --i) {
        Windows1->removeAction(items[i]);
        items[i]->deleteLater();
    }
    const QList<TSForm*>& forms = TSForm::Forms();
    for (qsizetype i = 0; i < forms.size(); ++i) {
        QAction* item = Windows1->addAction(forms[i]->windowTitle());
        item->setProperty(WindowProperty, int(i));
        connect(item, &QAction::triggered, this, [this, item] { WindowItemClick(item); });
    }
    Dummy2->setText(NoWindow);
    Dummy2->setVisible(forms.isEmpty());
}

void TfoCamMain::WindowItemClick(QAction* item)
{
    const int position = item->property(WindowProperty).toInt();
    const QList<TSForm*>& forms = TSForm::Forms();
    if (position < 0 || position >= forms.size())
        return;
    TSForm* form = forms[position];
    if (TfoViewer* viewer = asViewer(form)) {
        viewer->RestoreWindow();
        return;
    }
    form->show();
    form->raise();
    form->activateWindow();
}

// --- Commands over all viewers ----------------------------------------------------------------

void TfoCamMain::actRestoreAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->RestoreWindow(); });
}

void TfoCamMain::actHideAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->actHideExecute(); });
}

void TfoCamMain::actSnoozeAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->actSnoozeExecute(); });
}

void TfoCamMain::actCloseAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->actCloseExecute(); });
}

// --- Other commands ---------------------------------------------------------------------------

void TfoCamMain::actExitExecute()
{
    SaveOptions();
    // From here on no window saves the settings again. exit(), unlike quit(), does not close the
    // windows first: closing viewers would save and drop themselves from OpenedCams.
    TSForm::SetShuttingDown(true);
    QCoreApplication::exit(0);
}

bool TfoCamMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::Quit) {
        actExitExecute();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfoCamMain::actCloseMenuExecute() {}

void TfoCamMain::actLanguageExecute() {}

// --- Language, options and about box ----------------------------------------------------------

void TfoCamMain::ApplySavedLanguage()
{
    // A value copied from another installation names its file in our language folders.
    const QString path =
        CamViewer ? ResolveLanguageFile(CamViewer->Language, LanguageFolders()) : QString();
    if (!path.isEmpty() && QFileInfo(path).isFile())
        PvTranslator().Translate(path);
}

void TfoCamMain::BuildLanguageMenu()
{
    Language1->clear();
    for (const QString& path : LanguageFiles(LanguageFolders())) {
        QAction* item = Language1->addAction(QFileInfo(path).completeBaseName());
        item->setProperty(LanguageProperty, path);
        connect(item, &QAction::triggered, this, [this, item] { LanguageItemClick(item); });
    }
    Language1->menuAction()->setEnabled(!Language1->isEmpty());
}

void TfoCamMain::LanguageItemClick(QAction* item)
{
    const QString path = item->property(LanguageProperty).toString();
    PvTranslator().Translate(path);
    // Stored in memory; it reaches Options.xml at the next save.
    if (CamViewer)
        CamViewer->Language = path;
}

void TfoCamMain::actOptionsExecute()
{
    if (OptionsDialog && !OptionsDialog->isHidden()) {
        OptionsDialog->raise();
        OptionsDialog->activateWindow();
        return;
    }
    auto* options = new TfoOptions;
    options->OnStored = [] {
        if (CamViewer)
            CamViewer->SaveOptions();
    };
    OptionsDialog = options;
    options->LoadControls();
    options->show();
}

void TfoCamMain::actAboutExecute()
{
    (new TfoAbout)->show();
}

void TfoCamMain::actEditExecute()
{
    if (EditorWindow) {
        EditorWindow->raise();
        EditorWindow->activateWindow();
    }
}

void TfoCamMain::EditList()
{
    actEdit->trigger();
}

void TfoCamMain::actMireExecute()
{
    if (MosaicWindow) {
        MosaicWindow->raise();
        MosaicWindow->activateWindow();
    }
}

// AVI creator: a new, non-modal window each time; several may be open.
void TfoCamMain::actAviCreatorExecute()
{
    CreateForm<TfoAviCreator>()->show();
}

void TfoCamMain::actSiteSupportExecute()
{
    if (auto* action = qobject_cast<QAction*>(sender()))
        OpenUrl(action->toolTip());
}

void TfoCamMain::TrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        TrayIconClick();
        break;
    case QSystemTrayIcon::DoubleClick:
        actCloseMenu->trigger();
        break;
    default:
        break;
    }
}

void TfoCamMain::TrayIconClick()
{
    if (ChooserWindow) {
        ChooserWindow->show();
        ChooserWindow->raise();
        ChooserWindow->activateWindow();
    }
}
