#include "core/catalog/Catalog.h"

#include "core/Log.h"
#include "core/catalog/CommaText.h"
#include "core/catalog/XmlDocument.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TCamWebcam

void TCamWebcam::Assign(const TCamWebcam& source)
{
    Name = source.Name;
    Url = source.Url;
    Refresh = source.Refresh;
    Homepage = source.Homepage;
    Email = source.Email;
    Referer = source.Referer;
    LastId = source.LastId;
    AssignUserState(source);
}

TCamWebcam& TCamWebcam::AssignUserState(const TCamWebcam& source)
{
    UserTop = source.UserTop;
    UserLeft = source.UserLeft;
    UserWidth = source.UserWidth;
    UserHeight = source.UserHeight;
    UserRefresh = source.UserRefresh;
    UserAuto = source.UserAuto;
    UserState = source.UserState;
    UserAlpha = source.UserAlpha;
    StartState = source.StartState;
    return *this;
}

void TCamWebcam::LoadFromXml(const TXmlElement& element)
{
    Name = element.Attribute(u"Name");
    Url = element.Attribute(u"Url");
    Refresh = ReadXmlIntegerAttribute(element, u"Refresh", 30);
    Homepage = element.Attribute(u"Homepage");
    Email = element.Attribute(u"Email");
    Referer = element.Attribute(u"Referer");
    LastId = ReadXmlIntegerAttribute(element, u"LastId", 0);
    UserTop = ReadXmlIntegerAttribute(element, u"UserTop", -1);
    UserLeft = ReadXmlIntegerAttribute(element, u"UserLeft", -1);
    UserWidth = ReadXmlIntegerAttribute(element, u"UserWidth", -1);
    UserHeight = ReadXmlIntegerAttribute(element, u"UserHeight", -1);
    UserRefresh = ReadXmlIntegerAttribute(element, u"UserRefresh", -1);
    UserAuto = ReadXmlIntegerAttribute(element, u"UserAuto", 0) == 1;
    UserState = ReadXmlIntegerAttribute(element, u"UserState", -1);
    UserAlpha = ReadXmlIntegerAttribute(element, u"UserAlpha", -1);
    StartState = UserState;
}

std::unique_ptr<TXmlElement> TCamWebcam::SaveToXml() const
{
    auto element = std::make_unique<TXmlElement>(QStringLiteral("Cam"));
    element->AddAttribute(QStringLiteral("Name"), Name);
    element->AddAttribute(QStringLiteral("Url"), Url);
    element->AddAttribute(QStringLiteral("Refresh"), QString::number(Refresh));
    if (!Homepage.isEmpty())
        element->AddAttribute(QStringLiteral("Homepage"), Homepage);
    if (!Email.isEmpty())
        element->AddAttribute(QStringLiteral("Email"), Email);
    if (!Referer.isEmpty())
        element->AddAttribute(QStringLiteral("Referer"), Referer);
    if (LastId != 0)
        element->AddAttribute(QStringLiteral("LastId"), QString::number(LastId));
    const auto addUnlessUnset = [&](const QString& name, int value) {
        if (value != -1)
            element->AddAttribute(name, QString::number(value));
    };
    addUnlessUnset(QStringLiteral("UserTop"), UserTop);
    addUnlessUnset(QStringLiteral("UserLeft"), UserLeft);
    addUnlessUnset(QStringLiteral("UserWidth"), UserWidth);
    addUnlessUnset(QStringLiteral("UserHeight"), UserHeight);
    addUnlessUnset(QStringLiteral("UserRefresh"), UserRefresh);
    if (UserAuto)
        element->AddAttribute(QStringLiteral("UserAuto"), QStringLiteral("1"));
    addUnlessUnset(QStringLiteral("UserState"), UserState);
    addUnlessUnset(QStringLiteral("UserAlpha"), UserAlpha);
    return element;
}

// ---------------------------------------------------------------------------------------------
// TCamWebcams

void TCamWebcams::LoadFromXml(const TXmlElement* element)
{
    LoadChildren(element, u"Cam");
}

std::unique_ptr<TXmlElement> TCamWebcams::SaveToXml() const
{
    return SaveChildren(QStringLiteral("Cams"),
                        [](const TCamWebcam& webcam) { return webcam.SaveToXml(); });
}

// ---------------------------------------------------------------------------------------------
// TCamCategories

TCamCategories::TCamCategories() = default;
TCamCategories::~TCamCategories() = default;

void TCamCategories::LoadFromXml(const TXmlElement* element)
{
    LoadChildren(element, u"Category");
}

std::unique_ptr<TXmlElement> TCamCategories::SaveToXml() const
{
    return SaveToXml(MaxCategoryDepth);
}

std::unique_ptr<TXmlElement> TCamCategories::SaveToXml(int levelsLeft) const
{
    return SaveChildren(QStringLiteral("Categories"), [levelsLeft](const TCamCategory& category) {
        return category.SaveToXml(levelsLeft - 1);
    });
}

// ---------------------------------------------------------------------------------------------
// TCamCategory

TCamCategory::TCamCategory() = default;
TCamCategory::~TCamCategory() = default;

void TCamCategory::Clear()
{
    Webcams.Clear();
    Categories.Clear();
}

TCamWebcam* TCamCategory::FindWebcam(const QString& url) const
{
    for (int i = 0; i < Webcams.Count(); ++i) {
        if (Webcams.Items(i)->Url == url)
            return Webcams.Items(i);
    }
    for (int i = 0; i < Categories.Count(); ++i) {
        if (TCamWebcam* found = Categories.Items(i)->FindWebcam(url))
            return found;
    }
    return nullptr;
}

TCamCategory* TCamCategory::FindCategory(const QString& name) const
{
    for (int i = 0; i < Categories.Count(); ++i) {
        if (Categories.Items(i)->Name == name)
            return Categories.Items(i);
    }
    return nullptr;
}

TCamCategory* TCamCategory::ForcePath(const QString& path)
{
    // Splitting the rest of the path again at each level gives the same items as splitting once,
    // since joining and splitting by the comma-text rules are inverse: walk the items in a loop.
    const QStringList items = SplitCommaText(path);
    if (items.isEmpty() || items.size() > MaxCategoryDepth)
        return nullptr;
    TCamCategory* level = this;
    for (const QString& item : items) {
        TCamCategory* next = level->FindCategory(item);
        if (!next) {
            next = level->Categories.Add();
            next->Name = item;
        }
        level = next;
    }
    return level;
}

bool TCamCategory::OpenWebcam(const QString& url, const TOpenViewerFunc& openViewer) const
{
    TCamWebcam* webcam = FindWebcam(url);
    if (!webcam)
        return false;
    if (openViewer)
        openViewer(webcam, true);
    return true;
}

bool TCamCategory::PathOf(const TCamWebcam* webcam, QStringList& names) const
{
    if (Webcams.IndexOf(webcam) >= 0)
        return true;
    for (int i = 0; i < Categories.Count(); ++i) {
        const TCamCategory* category = Categories.Items(i);
        names.append(category->Name);
        if (category->PathOf(webcam, names))
            return true;
        names.removeLast();
    }
    return false;
}

void TCamCategory::LoadFromXml(const TXmlElement& element)
{
    Name = element.Attribute(u"Name");
    Categories.LoadFromXml(element.FindChild(u"Categories"));
    Webcams.LoadFromXml(element.FindChild(u"Cams"));
}

int TCamCategory::SubtreeDepth() const
{
    int deepest = 0;
    for (int i = 0; i < Categories.Count(); ++i)
        deepest = std::max(deepest, 1 + Categories.Items(i)->SubtreeDepth());
    return deepest;
}

std::unique_ptr<TXmlElement> TCamCategory::SaveToXml() const
{
    return SaveToXml(MaxCategoryDepth);
}

std::unique_ptr<TXmlElement> TCamCategory::SaveToXml(int levelsLeft) const
{
    auto element = std::make_unique<TXmlElement>(QStringLiteral("Category"));
    element->AddAttribute(QStringLiteral("Name"), Name);
    if (Categories.Count() > 0) {
        if (levelsLeft > 0)
            element->AddChild(Categories.SaveToXml(levelsLeft));
        else
            qCInfo(lcSettings) << "categories below" << Name << "are deeper than"
                               << MaxCategoryDepth << "levels and are not written";
    }
    if (Webcams.Count() > 0)
        element->AddChild(Webcams.SaveToXml());
    return element;
}
