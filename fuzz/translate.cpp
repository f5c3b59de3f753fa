// The language-file translation on any document, applied to a small fixed set of windows with a
// component of each kind the translator knows (actions, menus, labels, lists, trees, tables, page
// controls, memos, a status bar and the message table). A document that does not parse changes
// nothing.
#include "FuzzUtil.h"
#include "base/StatusBar.h"
#include "base/Translator.h"
#include "core/catalog/Strings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

// Fontconfig keeps what it learns of each font family a document names, for the life of the
// process: not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::Scratch();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "pictavo-fuzz";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return 0;
}

namespace {

template <class T> T* Named(QWidget* parent, const char* name)
{
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    parent->layout()->addWidget(widget);
    return widget;
}

std::unique_ptr<QWidget> MainWindow()
{
    auto window = std::make_unique<QWidget>();
    window->setObjectName(QStringLiteral("foCamMain"));
    window->setWindowTitle(QStringLiteral("Main"));
    new QVBoxLayout(window.get());
    auto* exit = new QAction(QStringLiteral("Exit"), window.get());
    exit->setObjectName(QStringLiteral("actExit"));
    auto* menu = new QMenu(QStringLiteral("Help"), window.get());
    menu->setObjectName(QStringLiteral("Help1"));
    menu->addAction(exit);
    Named<QLabel>(window.get(), "lbCaption")->setText(QStringLiteral("one\ntwo"));
    Named<QComboBox>(window.get(), "cbMode")->addItems({"a", "b", "c"});
    Named<QListWidget>(window.get(), "lbList")->addItems({"x", "y"});
    auto* tree = Named<QTreeWidget>(window.get(), "tvTree");
    auto* top = new QTreeWidgetItem(tree, {QStringLiteral("top")});
    new QTreeWidgetItem(top, {QStringLiteral("child")});
    auto* list = Named<QTreeWidget>(window.get(), "lvList");
    list->setRootIsDecorated(false);
    list->setColumnCount(2);
    new QTreeWidgetItem(list, {QStringLiteral("r0c0"), QStringLiteral("r0c1")});
    auto* grid = Named<QTableWidget>(window.get(), "sgGrid");
    grid->setRowCount(2);
    grid->setColumnCount(2);
    auto* pages = Named<QTabWidget>(window.get(), "pcPages");
    for (const char* page : {"tsFirst", "tsSecond"}) {
        auto* sheet = new QWidget;
        sheet->setObjectName(QString::fromLatin1(page));
        new QVBoxLayout(sheet);
        auto* box = Named<QGroupBox>(sheet, "gbBox");
        new QVBoxLayout(box);
        Named<QPushButton>(box, "btnOk")->setText(QStringLiteral("OK"));
        Named<QCheckBox>(box, "cbCheck");
        pages->addTab(sheet, QString::fromLatin1(page));
    }
    Named<QPlainTextEdit>(window.get(), "mmLines")->setPlainText(QStringLiteral("1\n2\n3"));
    Named<QTextEdit>(window.get(), "reText")->setPlainText(QStringLiteral("rich"));
    Named<QSpinBox>(window.get(), "seValue");
    Named<QTabBar>(window.get(), "tbTabs")->addTab(QStringLiteral("tab"));
    auto* status = Named<TStatusBar>(window.get(), "sbStatus");
    status->AddPanel(50, QStringLiteral("left"));
    status->AddPanel(-1, QStringLiteral("rest"));
    return window;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    QString emptyCat = QStringLiteral("Empty"), timeLeft = QStringLiteral("%d seconds");
    TVariables variables;
    variables.RegisterVariable(QStringLiteral("EmptyCat"), &emptyCat);
    variables.RegisterVariable(QStringLiteral("TimeLeft"), &timeLeft);

    std::unique_ptr<QWidget> main = MainWindow();
    auto viewer = std::make_unique<QWidget>();
    viewer->setObjectName(QStringLiteral("foViewer_1"));
    viewer->setWindowTitle(QStringLiteral("Viewer"));
    TPvTranslator translator;
    translator.SetVariables(main.get(), &variables);
    const bool applied = translator.TranslateBytes(bytes);
    if (!applied) {
        Fuzz::Check(translator.Document() == nullptr, "a document that does not parse is not kept");
        Fuzz::Check(main->windowTitle() == QStringLiteral("Main") &&
                        emptyCat == QStringLiteral("Empty"),
                    "a document that does not parse changes nothing");
        return 0;
    }
    // A window opened later takes the same document.
    std::unique_ptr<QWidget> later = MainWindow();
    translator.TranslateForm(later.get());
    QApplication::sendPostedEvents();
    return 0;
}
