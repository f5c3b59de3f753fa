// The catalogue editor's tree: a category list (the input up to its first NUL byte) is imported
// and loaded into the tree, then each following pair of bytes is an operation on it: add a
// category or a webcam, delete, move before, rename, edit a webcam's fields, export a node.
// QAbstractItemModelTester watches every change the tree signals; MoveBefore moves exactly when
// CanMoveBefore said it would, and to where it says; no category stands deeper than the limit;
// an exported node imports into an empty catalogue as the same tree.
#include "core/catalog/EditTree.h"

#include "FuzzUtil.h"
#include "core/catalog/ExchangeFiles.h"

#include <QAbstractItemModelTester>
#include <QSet>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::EnsureCoreApp();
    return 0;
}

namespace {

// Reads the operation bytes one at a time; 0 when they run out.
class TOpReader
{
public:
    TOpReader(const std::uint8_t* data, size_t size) : Data(data), Size(size) {}
    bool AtEnd() const { return At >= Size; }
    int Next() { return At < Size ? Data[At++] : 0; }

private:
    const std::uint8_t* Data;
    size_t Size;
    size_t At = 0;
};

void CollectNodes(const TCamEditTree& tree, const QModelIndex& parent,
                  std::vector<QModelIndex>& out)
{
    for (int row = 0; row < tree.rowCount(parent); ++row) {
        const QModelIndex index = tree.index(row, 0, parent);
        out.push_back(index);
        CollectNodes(tree, index, out);
    }
}

// A node picked by a byte; now and then none (an invalid index).
QModelIndex Pick(const TCamEditTree& tree, int byte)
{
    std::vector<QModelIndex> nodes;
    CollectNodes(tree, {}, nodes);
    if (nodes.empty() || byte % 17 == 16)
        return {};
    return nodes[static_cast<size_t>(byte) % nodes.size()];
}

// Names with the characters XML has to escape, spaces at the ends, commas (the separator of a
// category path) and a letter outside Latin-1.
QString NameFor(int byte, int serial)
{
    static const QString pieces[] = {QStringLiteral("Cam"),  QStringLiteral("a&b"),
                                     QStringLiteral("<x>"),  QStringLiteral(" q\"'"),
                                     QStringLiteral("A, B"), QStringLiteral("\u0416"),
                                     QStringLiteral(""),     QStringLiteral("Top")};
    return pieces[byte & 7] + ((byte & 8) ? QString::number(serial) : QString());
}

// The content of a category as the catalogue holds it after an import: sub-categories first,
// then webcams, each list in its order, with the fields a category list carries.
QString Describe(const TCamCategory& category)
{
    QString text = QStringLiteral("C[") + category.Name + QLatin1Char('|');
    for (int i = 0; i < category.Categories.Count(); ++i)
        text += Describe(*category.Categories.Items(i));
    for (int i = 0; i < category.Webcams.Count(); ++i) {
        const TCamWebcam& w = *category.Webcams.Items(i);
        text += QStringLiteral("W[%1|%2|%3|%4|%5|%6]")
                    .arg(w.Name, w.Url, w.Referer, w.Homepage, w.Email)
                    .arg(w.Refresh);
    }
    return text + QLatin1Char(']');
}

// The same of an editor node, in the order the import puts things.
QString Describe(const TEditNode& node)
{
    QString text = QStringLiteral("C[") + node.Text() + QLatin1Char('|');
    for (const auto& child : node.Children)
        if (child->IsCategory())
            text += Describe(*child);
    for (const auto& child : node.Children) {
        if (!child->IsWebcam())
            continue;
        const TCamWebcam& w = *child->Cam;
        text += QStringLiteral("W[%1|%2|%3|%4|%5|%6]")
                    .arg(w.Name, w.Url, w.Referer, w.Homepage, w.Email)
                    .arg(w.Refresh);
    }
    return text + QLatin1Char(']');
}

// Whether an import keeps the node's subtree as it is: it merges sub-categories of one name
// and skips a Url already in the subtree.
bool ImportKeepsAsIs(const TEditNode& node, QSet<QString>& urls)
{
    QSet<QString> names;
    for (const auto& child : node.Children) {
        if (child->IsCategory()) {
            if (names.contains(child->Text()) || !ImportKeepsAsIs(*child, urls))
                return false;
            names.insert(child->Text());
        } else if (child->IsWebcam()) {
            if (urls.contains(child->Cam->Url))
                return false;
            urls.insert(child->Cam->Url);
        }
    }
    return true;
}

void CheckExport(const TCamEditTree& tree, const QModelIndex& index)
{
    const TEditNode* node = tree.Node(index);
    const QByteArray document = tree.ExportDocument(index);
    Fuzz::Check(!document.isEmpty(), "every node exports");
    TCamCategory imported;
    const TImportResult result = TCamExchange::ImportBytes(document, imported, {});
    if (node->IsWebcam()) {
        // A webcam file needs a Name and a Url; its category path is the ancestors' names.
        bool named = !node->Cam->Name.isEmpty() && !node->Cam->Url.isEmpty();
        for (const QString& name : tree.AncestorNames(node))
            named = named && !name.trimmed().isEmpty();
        if (named)
            Fuzz::Check(result == TImportResult::Webcam, "an exported webcam imports as one");
        return;
    }
    Fuzz::Check(result == TImportResult::CategoryList, "an exported category imports as a list");
    // The list holds the chain of the node's ancestors, each with one category, down to it.
    const TCamCategory* category = &imported;
    for (const QString& name : tree.AncestorNames(node)) {
        Fuzz::Check(category->Categories.Count() == 1 && category->Webcams.Count() == 0 &&
                        category->Categories.Items(0)->Name == name,
                    "an export carries the node's ancestors");
        category = category->Categories.Items(0);
    }
    Fuzz::Check(category->Categories.Count() == 1, "an export carries the node");
    category = category->Categories.Items(0);
    // Otherwise what the import merges or skips depends on the order it meets things in (a
    // webcam before or after a sub-category that holds its Url), and the tree is not the same.
    QSet<QString> urls;
    if (!ImportKeepsAsIs(*node, urls))
        return;
    Fuzz::Check(Describe(*category) == Describe(*node),
                "an exported category imports as the same tree");

    // Loaded into a tree and exported again, it gives the same list.
    TCamEditTree again;
    again.LoadTree(imported);
    std::vector<QModelIndex> nodes;
    CollectNodes(again, {}, nodes);
    QModelIndex same = nodes.empty() ? QModelIndex() : nodes.front();
    for (int level = 0; same.isValid() && level < TCamEditTree::Level(node) - 1; ++level)
        same = again.index(0, 0, same);
    Fuzz::Check(same.isValid() && again.Node(same)->IsCategory(), "the import loads");
    TCamCategory twice;
    TCamExchange::ImportBytes(again.ExportDocument(same), twice, {});
    Fuzz::Check(Describe(twice) == Describe(imported), "a second round trip changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    size_t split = 0;
    while (split < size && data[split] != 0)
        ++split;
    TCamCategory root;
    TCamExchange::ImportBytes(Fuzz::Bytes(data, split), root, {});

    TCamEditTree tree;
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    tree.LoadTree(root);

    TOpReader ops(data + std::min(split + 1, size), size - std::min(split + 1, size));
    int serial = 0;
    for (int step = 0; step < 64 && !ops.AtEnd(); ++step, ++serial) {
        const int op = ops.Next();
        const QModelIndex a = Pick(tree, ops.Next());
        const TEditNode* node = tree.Node(a);
        switch (op % 7) {
        case 0:
        case 1: {
            const int before = tree.WebcamCount();
            const QModelIndex added = op % 7 == 0 ? tree.AddCategory(a, NameFor(op >> 3, serial))
                                                  : tree.AddWebcam(a, NameFor(op >> 3, serial));
            Fuzz::Check(!added.isValid() || a.isValid(), "nothing is added without a selection");
            Fuzz::Check(tree.WebcamCount() == before + (added.isValid() && op % 7 == 1),
                        "an added webcam counts");
            break;
        }
        case 2:
            Fuzz::Check(tree.Delete(a) == a.isValid(), "a node deletes");
            break;
        case 3: {
            const QModelIndex target = Pick(tree, ops.Next());
            const TEditNode* dragged = node;
            const TEditNode* onto = tree.Node(target);
            const bool can = dragged && onto && tree.CanMoveBefore(dragged, onto);
            Fuzz::Check(tree.MoveBefore(a, target) == can, "MoveBefore moves when it can");
            if (can)
                Fuzz::Check(dragged->Parent == onto->Parent && dragged->Row + 1 == onto->Row,
                            "a moved node stands just before its target");
            break;
        }
        case 4: {
            const QString name = NameFor(ops.Next(), serial);
            const bool category = node && node->IsCategory();
            Fuzz::Check(tree.SetCategoryName(a, name) == category, "only categories rename");
            if (category)
                Fuzz::Check(node->Text() == name, "a renamed category has its name");
            break;
        }
        case 5: {
            TCamWebcam fields;
            const int byte = ops.Next();
            fields.Name = NameFor(byte, serial);
            fields.Url = QStringLiteral("http://127.0.0.1/%1.jpg").arg(byte & 8 ? serial : 0);
            fields.Referer = NameFor(byte >> 1, serial);
            fields.Homepage = NameFor(byte >> 2, serial);
            fields.Email = NameFor(byte >> 3, serial);
            fields.Refresh = byte;
            const bool webcam = node && node->IsWebcam();
            Fuzz::Check(tree.SetWebcamFields(a, fields) == webcam, "only webcams take fields");
            if (webcam)
                Fuzz::Check(node->Cam->Url == fields.Url && node->Cam->Refresh == fields.Refresh,
                            "an edited webcam has its fields");
            break;
        }
        default:
            if (node)
                CheckExport(tree, a);
            break;
        }
    }

    std::vector<QModelIndex> nodes;
    CollectNodes(tree, {}, nodes);
    for (const QModelIndex& index : nodes) {
        const TEditNode* node = tree.Node(index);
        Fuzz::Check(!node->IsCategory() || TCamEditTree::Level(node) <= MaxCategoryDepth,
                    "no category stands deeper than the limit");
    }
    return 0;
}
