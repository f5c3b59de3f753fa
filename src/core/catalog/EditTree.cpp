#include "core/catalog/EditTree.h"

#include "core/catalog/ExchangeFiles.h"
#include "core/catalog/XmlDocument.h"

#include <algorithm>

namespace {

std::unique_ptr<TEditNode> NewCategoryNode(const QString& name)
{
    auto node = std::make_unique<TEditNode>();
    node->Cat = std::make_unique<TCatInfo>();
    node->Cat->Name = name;
    return node;
}

std::unique_ptr<TEditNode> NewWebcamNode(const TCamWebcam& webcam)
{
    auto node = std::make_unique<TEditNode>();
    node->Cam = std::make_unique<TCamWebcam>();
    node->Cam->Assign(webcam);
    return node;
}

void LoadCategory(TEditNode& parent, const TCamCategory& category)
{
    parent.Children.reserve(size_t(category.Categories.Count() + category.Webcams.Count()));
    for (int i = 0; i < category.Categories.Count(); ++i) {
        const TCamCategory& child = *category.Categories.Items(i);
        auto node = NewCategoryNode(child.Name);
        node->Parent = &parent;
        node->Row = int(parent.Children.size());
        LoadCategory(*node, child);
        parent.Children.push_back(std::move(node));
    }
    for (int i = 0; i < category.Webcams.Count(); ++i) {
        auto node = NewWebcamNode(*category.Webcams.Items(i));
        node->Parent = &parent;
        node->Row = int(parent.Children.size());
        parent.Children.push_back(std::move(node));
    }
}

void ApplyCategory(const TEditNode& parent, TCamCategory& category)
{
    for (const auto& child : parent.Children) {
        if (child->IsCategory()) {
            TCamCategory* sub = category.Categories.Add();
            sub->Name = child->Cat->Name;
            ApplyCategory(*child, *sub);
        } else if (child->IsWebcam()) {
            category.Webcams.Add()->Assign(*child->Cam);
        }
    }
}

std::unique_ptr<TXmlElement> CalElement(const TEditNode& category)
{
    auto element = TCamExchange::NewCalCategory(category.Cat->Name);
    for (const auto& child : category.Children) {
        if (child->IsCategory())
            element->AddChild(CalElement(*child));
        else if (child->IsWebcam())
            element->AddChild(TCamExchange::NewCalWebcam(*child->Cam));
    }
    return element;
}

int CountWithCredentials(const TEditNode& node)
{
    if (node.IsWebcam())
        return TCamExchange::HoldsCredentials(*node.Cam) ? 1 : 0;
    int count = 0;
    for (const auto& child : node.Children)
        count += CountWithCredentials(*child);
    return count;
}

const TEditNode* FindWebcamBelow(const TEditNode& node, const QString& url)
{
    for (const auto& child : node.Children) {
        if (child->IsWebcam() && child->Cam->Url == url)
            return child.get();
        if (const TEditNode* found = FindWebcamBelow(*child, url))
            return found;
    }
    return nullptr;
}

int CountWebcams(const TEditNode& node)
{
    int count = node.IsWebcam() ? 1 : 0;
    for (const auto& child : node.Children)
        count += CountWebcams(*child);
    return count;
}

} // namespace

// --- TEditNode ----------------------------------------------------------------------------------

QString TEditNode::Text() const
{
    if (Cat)
        return Cat->Name;
    if (Cam)
        return Cam->Name;
    return QString();
}

int TEditNode::CategoryHeight() const
{
    if (!IsCategory())
        return 0;
    int below = 0;
    for (const auto& child : Children)
        below = std::max(below, child->CategoryHeight());
    return below + 1;
}

bool TEditNode::IsWithin(const TEditNode* node) const
{
    for (const TEditNode* n = this; n; n = n->Parent)
        if (n == node)
            return true;
    return false;
}

// --- TCamEditTree -------------------------------------------------------------------------------

TCamEditTree::TCamEditTree(QObject* parent)
    : QAbstractItemModel(parent), Root(std::make_unique<TEditNode>())
{
}

TCamEditTree::~TCamEditTree() = default;

void TCamEditTree::LoadTree(const TCamCategory& root)
{
    beginResetModel();
    Root = std::make_unique<TEditNode>();
    LoadCategory(*Root, root);
    endResetModel();
}

void TCamEditTree::ApplyTree(TCamCategory& root) const
{
    root.Clear();
    ApplyCategory(*Root, root);
}

TEditNode* TCamEditTree::Node(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TEditNode*>(index.internalPointer());
}

TEditNode* TCamEditTree::NodeOrRoot(const QModelIndex& index) const
{
    TEditNode* node = Node(index);
    return node ? node : Root.get();
}

QModelIndex TCamEditTree::IndexOf(const TEditNode* node) const
{
    if (!node || node == Root.get())
        return {};
    return createIndex(node->Row, 0, const_cast<TEditNode*>(node));
}

int TCamEditTree::Level(const TEditNode* node)
{
    int level = 0;
    for (const TEditNode* n = node ? node->Parent : nullptr; n; n = n->Parent)
        ++level;
    return level;
}

void TCamEditTree::Renumber(TEditNode* parent, int from)
{
    for (size_t i = size_t(std::max(0, from)); i < parent->Children.size(); ++i)
        parent->Children[i]->Row = int(i);
}

QModelIndex TCamEditTree::Insert(TEditNode* parent, int row, std::unique_ptr<TEditNode> node)
{
    row = std::clamp(row, 0, int(parent->Children.size()));
    beginInsertRows(IndexOf(parent), row, row);
    node->Parent = parent;
    TEditNode* raw = node.get();
    parent->Children.insert(parent->Children.begin() + row, std::move(node));
    Renumber(parent, row);
    endInsertRows();
    return IndexOf(raw);
}

TEditNode* TCamEditTree::AddTarget(const QModelIndex& selection) const
{
    // Nothing selected (an empty catalogue has nothing to select): the top level.
    TEditNode* node = NodeOrRoot(selection);
    return node->IsWebcam() ? node->Parent : node;
}

QModelIndex TCamEditTree::AddCategory(const QModelIndex& selection, const QString& name)
{
    TEditNode* target = AddTarget(selection);
    // The new category stands one level below its parent's position.
    if (!target || Level(target) + 1 > MaxCategoryDepth)
        return {};
    return Insert(target, int(target->Children.size()), NewCategoryNode(name));
}

QModelIndex TCamEditTree::AddWebcam(const QModelIndex& selection, const QString& name)
{
    TEditNode* target = AddTarget(selection);
    if (!target)
        return {};
    TCamWebcam webcam;
    webcam.Name = name;
    webcam.Url = QStringLiteral("http://");
    webcam.Refresh = 30;
    webcam.LastId = 0;
    return Insert(target, int(target->Children.size()), NewWebcamNode(webcam));
}

bool TCamEditTree::Delete(const QModelIndex& index)
{
    TEditNode* node = Node(index);
    if (!node)
        return false;
    TEditNode* parent = node->Parent;
    const int row = node->Row;
    beginRemoveRows(IndexOf(parent), row, row);
    parent->Children.erase(parent->Children.begin() + row);
    Renumber(parent, row);
    endRemoveRows();
    return true;
}

bool TCamEditTree::CanMoveBefore(const TEditNode* dragged, const TEditNode* target) const
{
    if (!dragged || !target || dragged == Root.get() || target == Root.get())
        return false;
    // Onto itself or one of its own descendants: the tree stays as it was.
    if (target->IsWithin(dragged))
        return false;
    // Already just before the target.
    if (dragged->Parent == target->Parent && dragged->Row + 1 == target->Row)
        return false;
    // A category takes the target's level; the levels below it come along.
    return Level(target) + dragged->CategoryHeight() - 1 <= MaxCategoryDepth;
}

bool TCamEditTree::MoveBefore(const QModelIndex& draggedIndex, const QModelIndex& targetIndex)
{
    TEditNode* dragged = Node(draggedIndex);
    TEditNode* target = Node(targetIndex);
    if (!CanMoveBefore(dragged, target))
        return false;
    TEditNode* from = dragged->Parent;
    TEditNode* to = target->Parent;
    const int source = dragged->Row;
    const int destination = target->Row;
    if (!beginMoveRows(IndexOf(from), source, source, IndexOf(to), destination))
        return false;
    std::unique_ptr<TEditNode> node = std::move(from->Children[size_t(source)]);
    from->Children.erase(from->Children.begin() + source);
    Renumber(from, source);
    // The target moved up by one when the dragged node stood before it in the same list.
    const int row = target->Row;
    node->Parent = to;
    to->Children.insert(to->Children.begin() + row, std::move(node));
    Renumber(to, row);
    endMoveRows();
    return true;
}

bool TCamEditTree::SetCategoryName(const QModelIndex& index, const QString& name)
{
    TEditNode* node = Node(index);
    if (!node || !node->IsCategory())
        return false;
    node->Cat->Name = name;
    emit dataChanged(index, index, {Qt::DisplayRole});
    return true;
}

bool TCamEditTree::SetWebcamFields(const QModelIndex& index, const TCamWebcam& fields)
{
    TEditNode* node = Node(index);
    if (!node || !node->IsWebcam())
        return false;
    TCamWebcam& cam = *node->Cam;
    cam.Name = fields.Name;
    cam.Url = fields.Url;
    cam.Referer = fields.Referer;
    cam.Homepage = fields.Homepage;
    cam.Email = fields.Email;
    cam.Refresh = fields.Refresh;
    emit dataChanged(index, index, {Qt::DisplayRole});
    return true;
}

QModelIndex TCamEditTree::FindWebcam(const QString& url) const
{
    return IndexOf(FindWebcamBelow(*Root, url));
}

QStringList TCamEditTree::AncestorNames(const TEditNode* node) const
{
    QStringList names;
    for (const TEditNode* n = node ? node->Parent : nullptr; n && n != Root.get(); n = n->Parent)
        names.prepend(n->Text());
    return names;
}

QByteArray TCamEditTree::ExportDocument(const QModelIndex& index, int* withCredentials) const
{
    const TEditNode* node = Node(index);
    if (withCredentials)
        *withCredentials = node ? CountWithCredentials(*node) : 0;
    if (!node)
        return {};
    if (node->IsWebcam())
        return TCamExchange::BuildCamDocument(*node->Cam, AncestorNames(node));
    return TCamExchange::BuildCalDocument(AncestorNames(node), CalElement(*node));
}

int TCamEditTree::WebcamCount() const
{
    return CountWebcams(*Root);
}

QModelIndex TCamEditTree::index(int row, int column, const QModelIndex& parent) const
{
    const TEditNode* node = NodeOrRoot(parent);
    if (column != 0 || row < 0 || row >= int(node->Children.size()))
        return {};
    return createIndex(row, 0, node->Children[size_t(row)].get());
}

QModelIndex TCamEditTree::parent(const QModelIndex& child) const
{
    const TEditNode* node = Node(child);
    return node ? IndexOf(node->Parent) : QModelIndex();
}

int TCamEditTree::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(NodeOrRoot(parent)->Children.size());
}

int TCamEditTree::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TCamEditTree::data(const QModelIndex& index, int role) const
{
    const TEditNode* node = Node(index);
    if (!node || role != Qt::DisplayRole)
        return {};
    return node->Text();
}

Qt::ItemFlags TCamEditTree::flags(const QModelIndex& index) const
{
    if (!Node(index))
        return Qt::NoItemFlags;
    // Texts are not edited in place; every node can be dragged and dropped onto.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

Qt::DropActions TCamEditTree::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions TCamEditTree::supportedDropActions() const
{
    return Qt::MoveAction;
}
