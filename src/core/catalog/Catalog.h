#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

class TXmlElement;
class TCamWebcam;

// The deepest a category may stand below the root (a top-level category is at depth 1).
// Options.xml nests two elements per level (Category, Categories) plus Options, Cams and Cam, so
// at this depth it stays far inside the reader's nesting limit and always reads back whole.
// ForcePath creates nothing deeper, imports stop there, and the editor must not nest deeper.
inline constexpr int MaxCategoryDepth = 100;

// The longest text a field of the catalogue may hold, in characters: a category's name, and a
// webcam's Name, Url, Referer, Homepage and Email. Imports refuse a file with a longer one and the
// editor takes no more, so that menus and lists stay quick and the settings file stays in bounds.
inline constexpr int MaxFieldLength = 4096;

// Values of TCamWebcam::UserState (and StartState).
inline constexpr int CamStateUnset = -1;
inline constexpr int CamStateShown = 0;
inline constexpr int CamStateSnoozed = 1;
inline constexpr int CamStateHidden = 2;

// The tray window's OpenViewer: shows the viewer of a webcam; applySavedState makes a webcam saved
// as snoozed or hidden open snoozed or hidden.
using TOpenViewerFunc = std::function<void(TCamWebcam* webcam, bool applySavedState)>;

// One webcam. Its Url is its identity, compared exactly. Copies are plain values (viewers keep
// their own copy).
class TCamWebcam
{
public:
    int Refresh = 0;
    QString Homepage;
    QString Url;
    QString Email;
    QString Name;
    QString Referer;
    int LastId = 0;
    QDateTime LastUpdate; // image date of the last thumbnail response; null = none; never stored
    // Window state of the viewer; -1 = never set.
    int UserHeight = -1;
    int UserLeft = -1;
    int UserWidth = -1;
    int UserTop = -1;
    int UserRefresh = -1;
    // The viewer's "Auto" choice: UserRefresh then holds the interval it learned last, which a
    // program that knows no "Auto" takes as a plain interval.
    bool UserAuto = false;
    int UserState = CamStateUnset;
    int StartState = CamStateUnset; // UserState as read from the file; never stored
    int UserAlpha = 0;              // 0..255, applied only when above 0

    // Copies everything but LastUpdate.
    void Assign(const TCamWebcam& source);
    // Copies the window-state group; returns this webcam.
    TCamWebcam& AssignUserState(const TCamWebcam& source);

    // Reads the stored fields from a Cam element (also the Webcam items of a category list).
    void LoadFromXml(const TXmlElement& element);
    // A new Cam element with the stored fields; the caller owns it.
    std::unique_ptr<TXmlElement> SaveToXml() const;
};

// An owning list in order: an item lives as long as the list holds it.
template <class T> class TOwnedList
{
public:
    TOwnedList() = default;
    TOwnedList(const TOwnedList&) = delete;
    TOwnedList& operator=(const TOwnedList&) = delete;

    // Appends a new item with the constructor's values and returns it.
    T* Add()
    {
        items_.push_back(std::make_unique<T>());
        return items_.back().get();
    }
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    T* Items(int index) const { return items_[static_cast<size_t>(index)].get(); }
    // Position of the item in this list, -1 when it is not in it.
    int IndexOf(const T* item) const
    {
        for (size_t i = 0; i < items_.size(); ++i) {
            if (items_[i].get() == item)
                return static_cast<int>(i);
        }
        return -1;
    }
    // Takes the item (an object of this list) out and frees it with everything below it. Not in
    // the list: nothing.
    void Remove(T* item)
    {
        const int index = IndexOf(item);
        if (index >= 0)
            items_.erase(items_.begin() + index);
    }
    // Frees the items from position count on (with everything below them).
    void Truncate(int count)
    {
        if (count >= 0 && static_cast<size_t>(count) < items_.size())
            items_.resize(static_cast<size_t>(count));
    }

protected:
    // Appends an item read from each child of element with the exact name; null does nothing.
    template <class TElement> void LoadChildren(const TElement* element, QStringView name)
    {
        if (!element)
            return;
        for (const auto& child : element->Children()) {
            if (child->Name == name)
                Add()->LoadFromXml(*child);
        }
    }

    // A new element of that name holding save(item) of each item, in order.
    template <class TSave> auto SaveChildren(const QString& name, TSave&& save) const
    {
        auto element = std::make_unique<std::remove_cvref_t<decltype(*save(*Items(0)))>>(name);
        for (const auto& item : items_)
            element->AddChild(save(*item));
        return element;
    }

    std::vector<std::unique_ptr<T>> items_;
};

// An owning list of webcams.
class TCamWebcams : public TOwnedList<TCamWebcam>
{
public:
    // Appends the Cam children (exact name) of a Cams element; null does nothing.
    void LoadFromXml(const TXmlElement* element);
    std::unique_ptr<TXmlElement> SaveToXml() const;
};

class TCamCategory;

// An owning list of categories.
class TCamCategories : public TOwnedList<TCamCategory>
{
public:
    TCamCategories();
    ~TCamCategories();

    // Appends the Category children (exact name) of a Categories element; null does nothing.
    void LoadFromXml(const TXmlElement* element);
    std::unique_ptr<TXmlElement> SaveToXml() const;
    // The same, writing the categories down to levelsLeft levels (1: only these, no children).
    std::unique_ptr<TXmlElement> SaveToXml(int levelsLeft) const;
};

// A named node of the catalogue: sub-categories first, then webcams, each in list order.
class TCamCategory
{
public:
    TCamCategory();
    ~TCamCategory();
    TCamCategory(const TCamCategory&) = delete;
    TCamCategory& operator=(const TCamCategory&) = delete;

    TCamWebcams Webcams;
    TCamCategories Categories;
    QString Name;

    // Frees everything below this node; the name stays.
    void Clear();
    // First webcam with exactly this Url, depth-first (own webcams, then each sub-category).
    TCamWebcam* FindWebcam(const QString& url) const;
    // First direct sub-category with exactly this name.
    TCamCategory* FindCategory(const QString& name) const;
    // Finds or creates the chain of sub-categories named by a path in comma text and returns the
    // last one; null (and nothing created) when the path has no items or more than
    // MaxCategoryDepth of them.
    TCamCategory* ForcePath(const QString& path);
    // Depth-first search by exact Url; calls openViewer(webcam, true) for the first match and
    // returns true; false when nothing matches.
    bool OpenWebcam(const QString& url, const TOpenViewerFunc& openViewer) const;
    // Category names from this node (excluded) down to the category that holds the webcam
    // (included), found by object identity; false when the webcam is not below this node.
    bool PathOf(const TCamWebcam* webcam, QStringList& names) const;

    // Reads a Category element into this node, appending to its lists.
    void LoadFromXml(const TXmlElement& element);
    // Levels of categories below this node: 0 without sub-categories. With it the editor can tell
    // whether a move keeps the catalogue within MaxCategoryDepth.
    int SubtreeDepth() const;

    // A new Category element for this node and everything below it, down to MaxCategoryDepth
    // levels below it: a deeper category (only a faulty caller can make one) is left out, so the
    // file can always be read back whole.
    std::unique_ptr<TXmlElement> SaveToXml() const;
    // The same, writing sub-categories down to levelsLeft levels below this node.
    std::unique_ptr<TXmlElement> SaveToXml(int levelsLeft) const;
};
