#include "core/catalog/ClassExchange.h"

#include "core/Log.h"
#include "core/catalog/AtomicFile.h"
#include "core/catalog/CommaText.h"
#include "core/catalog/Strings.h"
#include "core/catalog/XmlDocument.h"

#include <QHash>
#include <QSet>
#include <optional>
#include <vector>

namespace {

std::unique_ptr<TXmlElement> CalCategoryTree(const TCamCategory& category)
{
    auto element = TCamExchange::NewCalCategory(category.Name);
    for (int i = 0; i < category.Categories.Count(); ++i)
        element->AddChild(CalCategoryTree(*category.Categories.Items(i)));
    for (int i = 0; i < category.Webcams.Count(); ++i)
        element->AddChild(TCamExchange::NewCalWebcam(*category.Webcams.Items(i)));
    return element;
}

TImportResult ImportWebcam(const TXmlElement& element, TCamCategory& root,
                           const TImportCallbacks& callbacks)
{
    const QString url = ReadXmlText(element, u"Url", QString());
    if (url.isEmpty()) {
        qCInfo(lcExchange) << "webcam file without Url: nothing imported";
        return TImportResult::Nothing;
    }
    const QString name = ReadXmlText(element, u"Name", QString());
    if (name.isEmpty()) {
        qCInfo(lcExchange) << "webcam file without Name: nothing imported";
        return TImportResult::Nothing;
    }
    // A Category element names the path, even when empty. Exported files spell it "Cagegory"
    // (other installations read that spelling): it gives the path too, and when it is empty (a
    // webcam of the top level) the webcam goes to the import category.
    QString path = ImportedCat;
    if (const TXmlElement* category = element.FindChild(u"Category")) {
        path = category->Text;
    } else if (const TXmlElement* exported = element.FindChild(u"Cagegory")) {
        if (!SplitCommaText(exported->Text).isEmpty())
            path = exported->Text;
    }
    TCamCategory* target = root.ForcePath(path);
    if (!target) {
        qCInfo(lcExchange) << "webcam file whose category path" << path << "is empty or deeper than"
                           << MaxCategoryDepth << "levels: nothing imported";
        return TImportResult::Nothing;
    }

    TCamWebcam* webcam = target->Webcams.Add();
    webcam->Url = url;
    webcam->Referer = ReadXmlText(element, u"Referer", QString());
    webcam->Name = name;
    webcam->Refresh = ReadXmlInteger(element, u"Refresh", 30);
    webcam->Homepage = ReadXmlText(element, u"Homepage", QString());
    webcam->Email = ReadXmlText(element, u"Email", QString());
    webcam->LastId = 0;

    if (callbacks.RebuildTrayMenu)
        callbacks.RebuildTrayMenu(true);
    if (callbacks.OpenViewer)
        callbacks.OpenViewer(webcam, false);
    return TImportResult::Webcam;
}

// One level of a category-list import: the category and, built when first needed, the Urls of
// its subtree and the first sub-category of each name. With them a list of any length merges in
// time proportional to its size; the results are those of FindWebcam and FindCategory.
struct TImportLevel
{
    TCamCategory* Category;
    std::optional<QSet<QString>> Urls;
    std::optional<QHash<QString, TCamCategory*>> Children;
};

void CollectUrls(const TCamCategory& category, QSet<QString>& urls)
{
    for (int i = 0; i < category.Webcams.Count(); ++i)
        urls.insert(category.Webcams.Items(i)->Url);
    for (int i = 0; i < category.Categories.Count(); ++i)
        CollectUrls(*category.Categories.Items(i), urls);
}

TCamCategory* FindOrAddCategory(TImportLevel& level, const QString& name)
{
    if (!level.Children) {
        level.Children.emplace();
        const TCamCategories& categories = level.Category->Categories;
        for (int i = categories.Count() - 1; i >= 0; --i) // the first of a name wins
            level.Children->insert(categories.Items(i)->Name, categories.Items(i));
    }
    if (TCamCategory* found = level.Children->value(name))
        return found;
    TCamCategory* added = level.Category->Categories.Add();
    added->Name = name;
    level.Children->insert(name, added);
    return added;
}

void ImportCategory(const TXmlElement& element, std::vector<TImportLevel>& levels)
{
    TCamCategory* target = FindOrAddCategory(levels.back(), element.Attribute(u"Name"));
    levels.push_back({target, std::nullopt, std::nullopt});
    // The first level is the parent of the file's root element, so the depth below it is:
    const int depth = static_cast<int>(levels.size()) - 1;
    for (const auto& child : element.Children()) {
        if (child->Name == u"Category") {
            if (depth < MaxImportCategoryDepth)
                ImportCategory(*child, levels);
            else
                qCInfo(lcExchange) << "category list nested deeper than" << MaxCategoryDepth
                                   << "levels: the deeper categories are not imported";
        } else if (child->Name == u"Webcam") {
            TImportLevel& level = levels.back();
            if (!level.Urls) {
                level.Urls.emplace();
                CollectUrls(*level.Category, *level.Urls);
            }
            const QString url = child->Attribute(u"Url");
            if (level.Urls->contains(url))
                continue;
            level.Category->Webcams.Add()->LoadFromXml(*child);
            // The webcam now stands in the subtree of every level above it too.
            for (TImportLevel& above : levels) {
                if (above.Urls)
                    above.Urls->insert(url);
            }
        }
    }
    levels.pop_back();
}

} // namespace

QByteArray TCamExchange::BuildCamDocument(const TCamWebcam& webcam, const QStringList& categoryPath)
{
    TXmlElement root(QStringLiteral("Webcam"));
    root.AddChild(QStringLiteral("Url"), webcam.Url);
    root.AddChild(QStringLiteral("Referer"), webcam.Referer);
    root.AddChild(QStringLiteral("Name"), webcam.Name);
    root.AddChild(QStringLiteral("Refresh"), QString::number(webcam.Refresh));
    root.AddChild(QStringLiteral("Homepage"), webcam.Homepage);
    root.AddChild(QStringLiteral("Email"), webcam.Email);
    root.AddChild(QStringLiteral("Cagegory"), JoinCommaText(categoryPath));
    return WriteXml(root);
}

std::unique_ptr<TXmlElement> TCamExchange::NewCalCategory(const QString& name)
{
    auto element = std::make_unique<TXmlElement>(QStringLiteral("Category"));
    element->AddAttribute(QStringLiteral("Name"), name);
    return element;
}

std::unique_ptr<TXmlElement> TCamExchange::NewCalWebcam(const TCamWebcam& webcam)
{
    auto element = std::make_unique<TXmlElement>(QStringLiteral("Webcam"));
    element->AddAttribute(QStringLiteral("Name"), webcam.Name);
    element->AddAttribute(QStringLiteral("Url"), webcam.Url);
    element->AddAttribute(QStringLiteral("Referer"), webcam.Referer);
    element->AddAttribute(QStringLiteral("Refresh"), QString::number(webcam.Refresh));
    element->AddAttribute(QStringLiteral("Homepage"), webcam.Homepage);
    element->AddAttribute(QStringLiteral("Email"), webcam.Email);
    return element;
}

QByteArray TCamExchange::BuildCalDocument(const QStringList& ancestorNames,
                                          std::unique_ptr<TXmlElement> exported)
{
    // Build the chain from the exported category upwards.
    std::unique_ptr<TXmlElement> top = std::move(exported);
    for (qsizetype i = ancestorNames.size() - 1; i >= 0; --i) {
        auto parent = NewCalCategory(ancestorNames[i]);
        parent->AddChild(std::move(top));
        top = std::move(parent);
    }
    return WriteXml(*top);
}

QByteArray TCamExchange::BuildCalDocument(const QStringList& ancestorNames,
                                          const TCamCategory& exported)
{
    return BuildCalDocument(ancestorNames, CalCategoryTree(exported));
}

bool TCamExchange::WriteDocument(const QString& path, const QByteArray& document,
                                 QString* errorText)
{
    QString error;
    if (WriteFileAtomically(path, document, {}, &error))
        return true;
    qCInfo(lcExchange) << "cannot write" << path << ":" << error;
    if (errorText)
        *errorText = error;
    return false;
}

namespace {

TImportResult ImportDocument(const TXmlDocument& document, TCamCategory& root,
                             const TImportCallbacks& callbacks)
{
    if (!document.IsOk())
        qCInfo(lcExchange) << "import of a damaged file:" << document.ErrorString;
    if (!document.Root)
        return TImportResult::Nothing;
    const TXmlElement& element = *document.Root;
    if (element.Name == u"Category") {
        std::vector<TImportLevel> levels{{&root, std::nullopt, std::nullopt}};
        ImportCategory(element, levels);
        // One rebuild for the whole list: rebuilding the menu after each of thousands of
        // categories would make a large list take quadratic time.
        if (callbacks.RebuildTrayMenu)
            callbacks.RebuildTrayMenu(true);
        return document.IsOk() ? TImportResult::CategoryList : TImportResult::Partial;
    }
    // A single webcam is one record: from a damaged file nothing is taken.
    if (element.Name == u"Webcam" && document.IsOk())
        return ImportWebcam(element, root, callbacks);
    qCInfo(lcExchange) << "nothing imported from a document whose root is" << element.Name;
    return TImportResult::Nothing;
}

} // namespace

TImportResult TCamExchange::ImportBytes(const QByteArray& bytes, TCamCategory& root,
                                        const TImportCallbacks& callbacks)
{
    return ImportDocument(ReadXml(bytes), root, callbacks);
}

TImportResult TCamExchange::ImportFile(const QString& path, TCamCategory& root,
                                       const TImportCallbacks& callbacks)
{
    return ImportDocument(ReadXmlFile(path), root, callbacks);
}
