#pragma once

#include "core/catalog/XmlDocument.h"

#include <QLocale>
#include <QPointer>
#include <QString>
#include <memory>

class QObject;
class QTranslator;
class QWidget;
class TVariables;

// The base name of the shipped language file that holds the built-in English texts: choosing it
// brings back every text another language file changed.
inline constexpr char EnglishLanguageName[] = "English";

// The translator: replaces the texts of the program's windows with those of a language file.
//
// A language file names windows by object name (children of the root), their components by
// object name (children of a window's element, whatever panel or page the component sits on) and
// object-valued properties (Font, Items, Lines, Panels, Columns, Tabs). Attributes set properties:
// the names of the layouts (Caption, Hint, ShortCut, a panel's Text, Width and Alignment, Font's
// Name, Size, Height, Style, Color) are mapped onto the matching Qt property of each kind of
// object, and Qt's own names of text properties work as well. Only what translation needs is set
// (IsLanguageProperty and the bounds in core/rules/LanguageValues.h): any other property, an
// over-long text, a giant font or panel is refused and logged. Names are matched without regard
// to case; a name that matches nothing changes nothing. The element Variables of the tray window
// sets the message texts.
class TPvTranslator
{
public:
    TPvTranslator();
    ~TPvTranslator();

    // Reads the language file and, when it parses and stays within MaxLanguageFileSize and
    // MaxLanguageElements, keeps it as the document that later windows
    // are translated from and applies it to the open windows (Apply). A file that cannot be read
    // or parsed changes nothing, not even the document: false.
    bool Translate(const QString& path);
    // The same from bytes already read.
    bool TranslateBytes(const QByteArray& bytes);
    // Applies each child of the document's root to every open top-level window of that kind
    // (object name up to its first underscore: "foViewer_1" is a foViewer), except windows
    // marked unowned.
    void Apply() const;

    // Translates one window from the document: the window's element is the root's child named as
    // the window's object name up to its first underscore.
    void TranslateForm(QWidget* window) const;
    // Applies one element to one object: its attributes set properties, its children reach the
    // object's components by name, else its object-valued properties.
    void TranslateComponent(QObject* object, const TXmlElement& element) const;

    // The message table that the element Variables of the window owner reaches.
    void SetVariables(QObject* owner, TVariables* variables);

    // The document applied last; null before the first language file.
    const TXmlElement* Document() const { return FDocument.get(); }
    // Forgets the document and goes back to the built-in texts' locale (LanguageLocale).
    void Clear();

    // The locale of the language applied last (English before the first file). Applying a file
    // makes it the default locale, so that dates and numbers built from then on follow it, and
    // loads Qt's own translations for it (file dialogs, standard buttons, shortcut names), when
    // the system has them; English unloads them.
    QLocale Locale() const { return FLocale; }

    // Windows with this property set to true are not reached by Apply (the About box, which has
    // no owner); TranslateForm still translates them when they are created.
    static constexpr const char* UnownedProperty = "pvUnowned";

private:
    // TranslateComponent; a collection item (collectionItem) takes its Index as no property.
    void TranslateElement(QObject* object, const TXmlElement& element, bool collectionItem) const;
    // Makes locale the program's locale and loads Qt's translations for it.
    void ApplyLocale(const QLocale& locale);

    std::shared_ptr<TXmlElement> FDocument;
    QLocale FLocale{QLocale::English};
    std::unique_ptr<QTranslator> QtTranslator;
    QPointer<QObject> VariablesOwner;
    TVariables* Variables = nullptr;
};

// The translator of this process (the tray window's PvTranslator).
TPvTranslator& PvTranslator();

// Sets one property of an object from a language file's attribute: the layout names are mapped
// onto the Qt property of the object's kind, then Qt's own names are tried (case ignored).
// False when the name matches nothing, the value does not fit the property, or a language file may
// not set it.
bool SetLanguageProperty(QObject* object, const QString& name, const QString& value);

// The locale of a language document: the root's Locale attribute (such as "fr_FR"), else the
// language whose English name is the file's base name (path; "German.xml" is German), else
// English.
QLocale LanguageLocale(const TXmlElement& root, const QString& path = QString());
