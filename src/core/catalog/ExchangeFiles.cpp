#include "core/catalog/ExchangeFiles.h"

#include "core/Log.h"
#include "core/catalog/CommaText.h"
#include "core/catalog/Strings.h"
#include "core/catalog/XmlDocument.h"
#include "core/io/AtomicFile.h"
#include "core/rules/CamAddress.h"

#include <QHash>
#include <QSet>
#include <algorithm>
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

// Adds the webcam of a .cam document to root; null (nothing added, *reason says why) when it lacks
// a Url or a Name or its category path is empty or too deep. *where receives the category path.
TCamWebcam* ImportWebcam(const TXmlElement& element, TCamCategory& root, QString* reason,
                         QString* where)
{
    const QString url = ReadXmlText(element, u"Url", QString());
    const QString name = ReadXmlText(element, u"Name", QString());
    if (url.isEmpty() || name.isEmpty()) {
        qCInfo(lcExchange) << "webcam file without" << (url.isEmpty() ? "Url" : "Name")
                           << ": nothing imported";
        *reason = RefusedNoWebcam;
        return nullptr;
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
        *reason = RefusedBadPath;
        reason->replace(QLatin1String("%max%"), QString::number(MaxCategoryDepth));
        return nullptr;
    }
    *where = SplitCommaText(path).join(QStringLiteral(" > "));

    TCamWebcam* webcam = target->Webcams.Add();
    webcam->Url = url;
    webcam->Referer = ReadXmlText(element, u"Referer", QString());
    webcam->Name = name;
    webcam->Refresh = ReadXmlInteger(element, u"Refresh", 30);
    webcam->Homepage = ReadXmlText(element, u"Homepage", QString());
    webcam->Email = ReadXmlText(element, u"Email", QString());
    webcam->LastId = 0;
    return webcam;
}

// Whether a document holds a text the catalogue would take that is longer than MaxFieldLength.
// In a list every attribute counts; in a single webcam every element's text, but the category
// path only item by item (a path of many names may be long).
bool HoldsLongText(const TXmlElement& element, bool webcamFile)
{
    const auto tooLong = [](const QString& text) { return text.size() > MaxFieldLength; };
    for (const TXmlAttribute& attribute : element.Attributes())
        if (!webcamFile && tooLong(attribute.Value))
            return true;
    if (webcamFile && (element.Name.compare(u"Category", Qt::CaseInsensitive) == 0 ||
                       element.Name.compare(u"Cagegory", Qt::CaseInsensitive) == 0)) {
        const QStringList items = SplitCommaText(element.Text);
        return std::any_of(items.cbegin(), items.cend(), tooLong);
    }
    if (webcamFile && tooLong(element.Text))
        return true;
    for (const auto& child : element.Children())
        if (HoldsLongText(*child, webcamFile))
            return true;
    return false;
}

// The length of every list of the catalogue before an import, which only appends: rolling back
// cuts each list back to its length, freeing what the import added.
class TCatalogueMark
{
public:
    explicit TCatalogueMark(const TCamCategory& root) { Record(root); }
    void RollBack(TCamCategory& root) const
    {
        size_t next = 0;
        Restore(root, next);
    }

private:
    struct TCounts
    {
        int Categories;
        int Webcams;
    };
    std::vector<TCounts> counts_; // depth first, as Record visits

    void Record(const TCamCategory& category)
    {
        counts_.push_back({category.Categories.Count(), category.Webcams.Count()});
        for (int i = 0; i < category.Categories.Count(); ++i)
            Record(*category.Categories.Items(i));
    }
    void Restore(TCamCategory& category, size_t& next) const
    {
        const TCounts counts = counts_[next++];
        category.Categories.Truncate(counts.Categories);
        category.Webcams.Truncate(counts.Webcams);
        for (int i = 0; i < counts.Categories; ++i)
            Restore(*category.Categories.Items(i), next);
    }
};

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

// Merges a list's Category element; alreadyIn counts the webcams left out as duplicates.
void ImportCategory(const TXmlElement& element, std::vector<TImportLevel>& levels, int& alreadyIn)
{
    TCamCategory* target = FindOrAddCategory(levels.back(), element.Attribute(u"Name"));
    levels.push_back({target, std::nullopt, std::nullopt});
    // The first level is the parent of the file's root element, so the depth below it is:
    const int depth = static_cast<int>(levels.size()) - 1;
    for (const auto& child : element.Children()) {
        if (child->Name == u"Category") {
            if (depth < MaxImportCategoryDepth)
                ImportCategory(*child, levels, alreadyIn);
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
            if (level.Urls->contains(url)) {
                ++alreadyIn;
                continue;
            }
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
    root.AddChild(QStringLiteral("Url"), AddressWithoutCredentials(webcam.Url));
    root.AddChild(QStringLiteral("Referer"), AddressWithoutCredentials(webcam.Referer));
    root.AddChild(QStringLiteral("Name"), MaskedAddresses(webcam.Name));
    root.AddChild(QStringLiteral("Refresh"), QString::number(webcam.Refresh));
    root.AddChild(QStringLiteral("Homepage"), AddressWithoutCredentials(webcam.Homepage));
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
    element->AddAttribute(QStringLiteral("Name"), MaskedAddresses(webcam.Name));
    element->AddAttribute(QStringLiteral("Url"), AddressWithoutCredentials(webcam.Url));
    element->AddAttribute(QStringLiteral("Referer"), AddressWithoutCredentials(webcam.Referer));
    element->AddAttribute(QStringLiteral("Refresh"), QString::number(webcam.Refresh));
    element->AddAttribute(QStringLiteral("Homepage"), AddressWithoutCredentials(webcam.Homepage));
    element->AddAttribute(QStringLiteral("Email"), webcam.Email);
    return element;
}

bool TCamExchange::HoldsCredentials(const TCamWebcam& webcam)
{
    return HasCredentials(webcam.Url) || HasCredentials(webcam.Referer) ||
           HasCredentials(webcam.Homepage) || MaskedAddresses(webcam.Name) != webcam.Name;
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

TImportResult Refuse(TImportResult result, const QString& reason, TImportReport* report)
{
    qCInfo(lcExchange) << "nothing imported:" << reason;
    if (report)
        report->Reason = reason;
    return result;
}

int CountWebcams(const TCamCategory& category)
{
    int count = category.Webcams.Count();
    for (int i = 0; i < category.Categories.Count(); ++i)
        count += CountWebcams(*category.Categories.Items(i));
    return count;
}

TImportResult ImportDocument(const TXmlDocument& document, TCamCategory& root,
                             const TImportCallbacks& callbacks, TImportReport* report)
{
    // The reader's words end in a full stop of their own; the message gives its own.
    const auto withError = [&document](QString text) {
        QString error = document.ErrorString.trimmed();
        while (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        return text.replace(QLatin1String("%error%"), error);
    };
    switch (document.Status) {
    case TXmlStatus::Refused:
        return Refuse(TImportResult::Refused, RefusedEntities, report);
    case TXmlStatus::TooLarge:
        return Refuse(TImportResult::Refused, RefusedFileTooLarge, report);
    case TXmlStatus::CannotOpen:
        return Refuse(TImportResult::Nothing, withError(RefusedUnreadable), report);
    case TXmlStatus::Malformed:
        // A list cut short or damaged is not merged in part: the user fixes or replaces the
        // file and imports it again, without half of it already in the catalogue.
        return Refuse(TImportResult::Nothing, withError(RefusedDamaged), report);
    case TXmlStatus::TooDeep:
        qCInfo(lcExchange) << "import of a file nested too deep:" << document.ErrorString;
        break;
    case TXmlStatus::Ok:
        break;
    }
    if (!document.Root)
        return Refuse(TImportResult::Nothing, withError(RefusedDamaged), report);
    const TXmlElement& element = *document.Root;
    const bool list = element.Name == u"Category";
    // A single webcam is one record: from a damaged file nothing is taken.
    const bool webcam = element.Name == u"Webcam" && document.IsOk();
    if (!list && !webcam) {
        qCInfo(lcExchange) << "nothing imported from a document whose root is" << element.Name;
        return Refuse(TImportResult::Nothing, RefusedNotExchange, report);
    }
    if (HoldsLongText(element, webcam)) {
        QString reason = RefusedLongText;
        return Refuse(TImportResult::Refused,
                      reason.replace(QLatin1String("%max%"), QString::number(MaxFieldLength)),
                      report);
    }

    const TCatalogueMark mark(root);
    const int before = CountWebcams(root);
    TCamWebcam* added = nullptr;
    int alreadyIn = 0;
    QString where;
    if (list) {
        std::vector<TImportLevel> levels{{&root, std::nullopt, std::nullopt}};
        ImportCategory(element, levels, alreadyIn);
        where = element.Attribute(u"Name");
    } else {
        QString reason;
        added = ImportWebcam(element, root, &reason, &where);
        if (!added)
            return Refuse(TImportResult::Nothing, reason, report);
    }
    // What the program writes, it must read back: an import that would push the settings file
    // over the reader's limit is taken back whole.
    const qint64 size = TCamExchange::WrittenCatalogueSize(root);
    if (size > callbacks.MaxCatalogueSize) {
        mark.RollBack(root);
        qCInfo(lcExchange) << "with the import the catalogue would take" << size
                           << "bytes in the settings file, over" << callbacks.MaxCatalogueSize;
        return Refuse(TImportResult::Refused, RefusedListTooLarge, report);
    }
    if (report) {
        report->Added = CountWebcams(root) - before;
        report->AlreadyIn = alreadyIn;
        report->Where = where;
    }

    // One rebuild for a whole list: rebuilding the menu after each of thousands of categories
    // would make a large list take quadratic time.
    if (callbacks.RebuildTrayMenu)
        callbacks.RebuildTrayMenu(true);
    if (list)
        return document.IsOk() ? TImportResult::CategoryList : TImportResult::Partial;
    if (callbacks.OpenViewer)
        callbacks.OpenViewer(added, false);
    return TImportResult::Webcam;
}

} // namespace

qint64 TCamExchange::WrittenCatalogueSize(const TCamCategory& root)
{
    return WrittenXmlSize(*root.SaveToXml(), 1);
}

TImportResult TCamExchange::ImportBytes(const QByteArray& bytes, TCamCategory& root,
                                        const TImportCallbacks& callbacks, TImportReport* report)
{
    return ImportDocument(ReadXml(bytes), root, callbacks, report);
}

TImportResult TCamExchange::ImportFile(const QString& path, TCamCategory& root,
                                       const TImportCallbacks& callbacks, TImportReport* report)
{
    return ImportDocument(ReadXmlFile(path), root, callbacks, report);
}
