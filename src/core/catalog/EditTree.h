#pragma once

#include "core/catalog/Catalog.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// What a category node of the catalogue editor carries: the category's name, nothing else.
struct TCatInfo
{
    QString Name;
};

// A node of the editor's tree. It owns what it carries (a TCatInfo or its own TCamWebcam, the
// working copy) and its children; removing the node frees them all. The invisible root carries
// neither.
class TEditNode
{
public:
    std::unique_ptr<TCatInfo> Cat;
    std::unique_ptr<TCamWebcam> Cam;
    TEditNode* Parent = nullptr;
    std::vector<std::unique_ptr<TEditNode>> Children;
    // Position among the parent's children; kept up to date by the tree.
    int Row = 0;

    bool IsCategory() const { return Cat != nullptr; }
    bool IsWebcam() const { return Cam != nullptr; }
    // The node's text: the category's or the webcam's name.
    QString Text() const;
    // Levels of categories at and below this node: 0 for a webcam, 1 for a category without
    // sub-categories.
    int CategoryHeight() const;
    // Whether this node is node or stands below it.
    bool IsWithin(const TEditNode* node) const;
};

// The catalogue editor's working tree, as a model for a tree view: categories and webcams in the
// order the user arranges them, interleaved at will, each node with its own copy of what it shows.
// Nothing reaches the catalogue until ApplyTree. No operation makes a category deeper than
// MaxCategoryDepth below the root, so whatever the editor applies is saved and read back whole.
class TCamEditTree : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit TCamEditTree(QObject* parent = nullptr);
    ~TCamEditTree() override;

    // Replaces the tree with a copy of the catalogue: for each category its sub-categories, then
    // its webcams, each webcam an Assign copy (window state and LastId travel with it). The root
    // itself has no node.
    void LoadTree(const TCamCategory& root);
    // Empties root and fills it from the tree: a category node adds a sub-category with its name,
    // a webcam node adds a webcam assigned from its working copy. Within a category, the
    // sub-categories and the webcams keep their tree order, each in its own list, so a webcam
    // placed among sub-categories ends up after all of them.
    void ApplyTree(TCamCategory& root) const;

    TEditNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const TEditNode* node) const;

    // Adds a category (or a webcam: "http://", refresh 30, the rest empty, the window state of a
    // new object) named name as the last child of selection's category: a selected webcam gives
    // its parent, a top-level webcam the top level, no selection the top level (an empty
    // catalogue has nothing to select). Where the new category would stand deeper than
    // MaxCategoryDepth, nothing is added and the result is invalid.
    QModelIndex AddCategory(const QModelIndex& selection, const QString& name);
    QModelIndex AddWebcam(const QModelIndex& selection, const QString& name);
    // Removes the node with everything below it; false without one.
    bool Delete(const QModelIndex& index);
    // Moves dragged, with everything below it, to just before target among target's siblings.
    // Nothing changes (false) when target is dragged itself or below it, when the move would put a
    // category deeper than MaxCategoryDepth, or when dragged already stands just before target.
    bool MoveBefore(const QModelIndex& dragged, const QModelIndex& target);
    // Whether MoveBefore(dragged, target) would move anything.
    bool CanMoveBefore(const TEditNode* dragged, const TEditNode* target) const;

    // Rename a category node; copy the six edited fields (Name, Url, Referer, Homepage, Email,
    // Refresh) into a webcam node's working copy. False when the node is not of that kind.
    bool SetCategoryName(const QModelIndex& index, const QString& name);
    bool SetWebcamFields(const QModelIndex& index, const TCamWebcam& fields);

    // The first webcam node, from top to bottom, whose working copy has exactly this Url.
    QModelIndex FindWebcam(const QString& url) const;
    // The names of the categories above the node, from the top level down.
    QStringList AncestorNames(const TEditNode* node) const;
    // Category levels of the node's position: 1 for a node at the top level.
    static int Level(const TEditNode* node);

    // The exchange document of a node, from the working copies: a webcam gives a .cam document,
    // a category a .cal document with its children in tree order. Empty without a node.
    // *withCredentials: how many of the exported webcams had a user name or password in an
    // address, which the document leaves out.
    QByteArray ExportDocument(const QModelIndex& index, int* withCredentials = nullptr) const;

    int WebcamCount() const;

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    TEditNode* NodeOrRoot(const QModelIndex& index) const;
    // Where an added node goes: the selection's category, the root for a top-level webcam or
    // without a selection.
    TEditNode* AddTarget(const QModelIndex& selection) const;
    QModelIndex Insert(TEditNode* parent, int row, std::unique_ptr<TEditNode> node);
    static void Renumber(TEditNode* parent, int from);

    std::unique_ptr<TEditNode> Root;
};
