#include "core/catalog/Catalog.h"

#include "core/Log.h"
#include "core/catalog/CommaText.h"
#include "core/catalog/XmlDocument.h"

#include <algorithm>
#include <variant>

// ---------------------------------------------------------------------------------------------
// TCamWebcam

namespace {

// A stored field of a webcam: its attribute of a Cam element, the value a missing attribute reads
// as, and whether it is written always or only when it holds something else than that value (an
// empty text, a switch that is off).
struct TCamAttribute
{
    const char16_t* Name;
    std::variant<QString TCamWebcam::*, int TCamWebcam::*, bool TCamWebcam::*> Field;
    int Missing = 0;
    bool Always = false;
};

// In the order of the attributes of a Cam element.
const TCamAttribute CamAttributes[] = {
    {u"Name", &TCamWebcam::Name, 0, true},
    {u"Url", &TCamWebcam::Url, 0, true},
    {u"Refresh", &TCamWebcam::Refresh, 30, true},
    {u"Homepage", &TCamWebcam::Homepage},
    {u"Email", &TCamWebcam::Email},
    {u"Referer", &TCamWebcam::Referer},
    {u"LastId", &TCamWebcam::LastId},
    {u"UserTop", &TCamWebcam::UserTop, -1},
    {u"UserLeft", &TCamWebcam::UserLeft, -1},
    {u"UserWidth", &TCamWebcam::UserWidth, -1},
    {u"UserHeight", &TCamWebcam::UserHeight, -1},
    {u"UserRefresh", &TCamWebcam::UserRefresh, -1},
    {u"UserAuto", &TCamWebcam::UserAuto}, // "1" when on
    {u"UserState", &TCamWebcam::UserState, -1},
    {u"UserAlpha", &TCamWebcam::UserAlpha, -1},
};

template <class... TVisitors> struct TOverloaded : TVisitors...
{
    using TVisitors::operator()...;
};

} // namespace

void TCamWebcam::Assign(const TCamWebcam& source)
{
    const QDateTime lastUpdate = LastUpdate;
    *this = source;
    LastUpdate = lastUpdate;
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
    for (const TCamAttribute& attribute : CamAttributes) {
        const QStringView name(attribute.Name);
        std::visit(TOverloaded{
                       [&](QString TCamWebcam::*field) { this->*field = element.Attribute(name); },
                       [&](int TCamWebcam::*field) {
                           this->*field = ReadXmlIntegerAttribute(element, name, attribute.Missing);
                       },
                       [&](bool TCamWebcam::*field) {
                           this->*field = ReadXmlIntegerAttribute(element, name, 0) == 1;
                       },
                   },
                   attribute.Field);
    }
    StartState = UserState;
}

std::unique_ptr<TXmlElement> TCamWebcam::SaveToXml() const
{
    auto element = std::make_unique<TXmlElement>(QStringLiteral("Cam"));
    for (const TCamAttribute& attribute : CamAttributes) {
        const QString text =
            std::visit(TOverloaded{
                           [&](QString TCamWebcam::*field) { return this->*field; },
                           [&](int TCamWebcam::*field) {
                               return attribute.Always || this->*field != attribute.Missing
                                          ? QString::number(this->*field)
                                          : QString();
                           },
                           [&](bool TCamWebcam::*field) {
                               return this->*field ? QStringLiteral("1") : QString();
                           },
                       },
                       attribute.Field);
        if (attribute.Always || !text.isEmpty())
            element->AddAttribute(QString::fromUtf16(attribute.Name), text);
    }
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
