// The shipped language files against the program's windows: every window, component and message
// key a file names exists, and every visible caption of every window is translated.
#include "app/FormAbout.h"
#include "app/FormMain.h"
#include "app/FormOptions.h"
#include "app/TrayMenus.h"
#include "avi/FormAviCreator.h"
#include "base/Translator.h"
#include "base/Window.h"
#include "core/catalog/Product.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "editor/FormEditCams.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
#include "viewer/FormViewer.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A text a person reads, held by an object: the object's caption, title or hint.
struct TShownText
{
    QObject* Object;
    QString Kind;
    QString Text;
};

bool hasLetters(const QString& text)
{
    for (QChar c : text)
        if (c.isLetter())
            return true;
    return false;
}

// Texts that stay as they are in every language: the product's name, addresses, file names.
bool exempt(QObject* object, const QString& text)
{
    // (The About box's names and versions of the libraries are no language either.)
    return !hasLetters(text) || text == ProductName || text == ProductTitle ||
           text.contains(QLatin1String("://")) || object->objectName() == "LibrariesLabel" ||
           object->property(TTrayMenus::LanguageProperty).isValid();
}

void collect(QObject* object, QList<TShownText>& texts)
{
    auto add = [&texts](QObject* holder, const QString& kind, const QString& text) {
        if (!exempt(holder, text))
            texts.append({holder, kind, text});
    };
    if (auto* menu = qobject_cast<QMenu*>(object)) {
        add(menu, "title", menu->title());
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && !action->menu())
                add(action, "item of " + menu->objectName(), action->text());
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
        if (widget->isWindow())
            add(widget, "window title", widget->windowTitle());
        if (auto* label = qobject_cast<QLabel*>(widget))
            add(widget, "text", label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            add(widget, "text", button->text());
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            add(widget, "title", box->title());
        if (auto* tabs = qobject_cast<QTabWidget*>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                add(tabs->widget(i), "tab", tabs->tabText(i));
        // Hints are read on their own: an object may show a text and a different hint.
        if (!widget->toolTip().isEmpty() && widget->toolTip() != widget->windowTitle())
            add(widget, "hint", widget->toolTip());
    }
    for (QObject* child : object->children())
        collect(child, texts);
}

// The objects a window element addresses with a text, by the component index of the window.
QList<QObject*> addressed(QObject* window, const TXmlElement& element)
{
    QList<QObject*> objects;
    QList<QObject*> all = window->findChildren<QObject*>();
    for (const auto& child : element.Children()) {
        const bool hasText = child->HasAttribute(u"Caption") || child->HasAttribute(u"Text") ||
                             child->HasAttribute(u"Hint");
        for (QObject* object : all) {
            if (hasText && object->objectName().compare(child->Name, Qt::CaseInsensitive) == 0) {
                objects.append(object);
                break;
            }
        }
    }
    if (element.HasAttribute(u"Caption"))
        objects.append(window);
    return objects;
}

QStringList shippedLanguageFiles()
{
    const QDir dir(QStringLiteral(PICTAVO_SOURCE_DIR "/resources/Languages"));
    QStringList files;
    for (const QString& name : dir.entryList({QStringLiteral("*.xml")}, QDir::Files))
        files << dir.filePath(name);
    return files;
}

// The tray window started on the built-in texts, without shipped default settings.
std::unique_ptr<TfoCamMain> StartOnBuiltInTexts()
{
    RestoreMessageDefaults();
    PvTranslator().Clear();
    QFile::remove(TCamViewer::DefaultOptionsPath());
    TStartup startup;
    startup.RegisterTypes = false;
    return std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
}

} // namespace

TEST(LanguageFiles, EachShippedFileTranslatesEveryWindowAndNamesNothingTheProgramLacks)
{
    const QStringList files = shippedLanguageFiles();
    ASSERT_GE(files.size(), 2);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        auto main = StartOnBuiltInTexts();
        // Every window of the program, one of each kind.
        QList<QWidget*> windows{main.get(),
                                CreateForm<TfoViewer>(),
                                CreateForm<TfoOptions>(),
                                CreateForm<TfoAbout>(),
                                CreateForm<TfoMire>(),
                                CreateForm<TfoChoose>(),
                                CreateForm<TfoAviCreator>(),
                                CreateForm<TfoEditCams>()};

        QList<TShownText> before;
        for (QWidget* window : windows)
            collect(window, before);
        auto textBefore = [&before](QObject* object, const QString& kind) {
            for (const TShownText& text : before)
                if (text.Object == object && text.Kind == kind)
                    return text.Text;
            return QString();
        };

        const TXmlDocument document = ReadXmlFile(file);
        ASSERT_TRUE(document.IsOk()) << document.ErrorString.toStdString();
        QList<QObject*> covered;
        bool messages = false;
        for (const auto& element : document.Root->Children()) {
            QWidget* window = nullptr;
            for (QWidget* candidate : windows)
                if (candidate->objectName().compare(element->Name, Qt::CaseInsensitive) == 0)
                    window = candidate;
            ASSERT_NE(window, nullptr) << "no window " << element->Name.toStdString();
            for (const auto& child : element->Children()) {
                if (child->Name.compare(u"Variables", Qt::CaseInsensitive) == 0 &&
                    window == main.get()) {
                    messages = true;
                    QStringList keys = main->MessageVariables().Keys();
                    for (const auto& variable : child->Children()) {
                        const QString key = variable->Attribute(u"Name");
                        EXPECT_NE(main->MessageVariables().Find(key), nullptr)
                            << "no message key " << key.toStdString();
                        keys.removeIf([&key](const QString& k) {
                            return k.compare(key, Qt::CaseInsensitive) == 0;
                        });
                    }
                    EXPECT_TRUE(keys.isEmpty())
                        << "untranslated messages: " << keys.join(' ').toStdString();
                    continue;
                }
                bool found = false;
                for (QObject* object : window->findChildren<QObject*>())
                    found = found ||
                            object->objectName().compare(child->Name, Qt::CaseInsensitive) == 0;
                EXPECT_TRUE(found) << "no component " << child->Name.toStdString() << " in "
                                   << element->Name.toStdString();
            }
            covered += addressed(window, *element);
        }
        EXPECT_TRUE(messages) << "no message texts";
        // Linked menu items show the text of their action.
        QStringList coveredTexts;
        for (const TShownText& text : before)
            if (covered.contains(text.Object))
                coveredTexts << text.Text;
        for (QObject* object : covered)
            if (auto* action = qobject_cast<QAction*>(object))
                coveredTexts << action->text();
        ASSERT_TRUE(PvTranslator().Translate(file));
        // The About box has no owner: it is translated when it is created.
        PvTranslator().TranslateForm(windows[3]);
        main->actWindowExecute();

        // A caption is translated when it changed, or when the file gives it (a translation may
        // equal the English word) to its object or to an object that had the same text.
        QList<TShownText> after;
        for (QWidget* window : windows)
            collect(window, after);
        QStringList untranslated;
        for (const TShownText& text : after) {
            const bool same = textBefore(text.Object, text.Kind) == text.Text;
            if (same && !covered.contains(text.Object) && !coveredTexts.contains(text.Text))
                untranslated << text.Object->objectName() + " (" + text.Kind + "): " + text.Text;
        }
        EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join('\n').toStdString();

        for (QWidget* window : windows.mid(1))
            delete window;
        main.reset();
    }
    RestoreMessageDefaults();
    PvTranslator().Clear();
}

TEST(LanguageFiles, EnglishBringsBackEveryBuiltInTextAfterAnyOtherLanguage)
{
    auto main = StartOnBuiltInTexts();
    // The windows a language reaches while open (the About box takes one only when it opens).
    QList<QWidget*> windows{main.get(),
                            CreateForm<TfoViewer>(),
                            CreateForm<TfoOptions>(),
                            CreateForm<TfoMire>(),
                            CreateForm<TfoChoose>(),
                            CreateForm<TfoAviCreator>(),
                            CreateForm<TfoEditCams>()};
    const auto shown = [&windows, &main] {
        main->actWindowExecute();
        QStringList texts;
        QList<TShownText> all;
        for (QWidget* window : windows)
            collect(window, all);
        for (const TShownText& text : all)
            texts << text.Object->objectName() + " (" + text.Kind + "): " + text.Text;
        for (const QString& key : main->MessageVariables().Keys())
            texts << key + ": " + *main->MessageVariables().Find(key);
        return texts;
    };
    const QStringList builtIn = shown();
    const QString folder = QStringLiteral(PICTAVO_SOURCE_DIR "/resources/Languages/");
    for (const char* other : {"French.xml", "German.xml"}) {
        SCOPED_TRACE(other);
        ASSERT_TRUE(PvTranslator().Translate(folder + other));
        ASSERT_NE(shown(), builtIn);
        ASSERT_TRUE(PvTranslator().Translate(folder + "English.xml"));
        const QStringList back = shown();
        QStringList differing;
        for (qsizetype i = 0; i < std::min(back.size(), builtIn.size()); ++i)
            if (back[i] != builtIn[i])
                differing << builtIn[i] + "  ->  " + back[i];
        EXPECT_EQ(back.size(), builtIn.size());
        EXPECT_TRUE(differing.isEmpty()) << differing.join('\n').toStdString();
    }
    for (QWidget* window : windows.mid(1))
        delete window;
    main.reset();
    RestoreMessageDefaults();
    PvTranslator().Clear();
}
