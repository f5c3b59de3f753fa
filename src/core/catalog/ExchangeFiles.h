#pragma once

#include "core/catalog/Catalog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TXmlElement;

// The most bytes the catalogue may take in Options.xml after an import: the reader's file limit
// less room for the other settings, the open viewers and the recently viewed list.
inline constexpr qint64 MaxImportedCatalogueSize = 60 * 1024 * 1024;

// What the import needs from the tray window.
struct TImportCallbacks
{
    // RebuildTrayMenu(refreshChooser)
    std::function<void(bool refreshChooser)> RebuildTrayMenu;
    // OpenViewer(webcam, applySavedState)
    TOpenViewerFunc OpenViewer;
    // An import after which the catalogue would take more bytes in Options.xml is refused whole.
    qint64 MaxCatalogueSize = MaxImportedCatalogueSize;
};

// What an import did, for the user: why nothing was imported (Nothing, Refused), or how many
// webcams were added and where.
struct TImportReport
{
    QString Reason;    // Nothing and Refused: one of the Refused texts of Strings.h
    int Added = 0;     // webcams added to the catalogue
    int AlreadyIn = 0; // webcams of a list left out because their category already held them
    QString Where;     // the category they went to (a path "A > B" for a single webcam)
};

enum class TImportResult
{
    Nothing,      // missing, unreadable, damaged, foreign root, no Url or Name, no target category:
                  // the catalogue unchanged
    Webcam,       // a single webcam was added
    CategoryList, // a category list was merged
    Partial,      // a category list nested deeper than the limit: the levels above it were merged
    Refused,      // refused whole, the catalogue unchanged: the file declares entities or is over
                  // 64 MiB, a field is longer than MaxFieldLength, or the catalogue would outgrow
                  // MaxCatalogueSize
};

// The exchange files: a single webcam (.cam, "Cam Info") and a category list (.cal, "Cam List").
// They are meant for sharing: the addresses written into them (Url, Referer, Homepage) leave out
// any user name and password (AddressWithoutCredentials), and a name that holds an address shows
// its password masked; Options.xml keeps them.
class TCamExchange
{
public:
    // The .cam document of a webcam; categoryPath are the names of the categories from the top
    // level down to the webcam's own (empty for a webcam at the top level). The path goes in an
    // element spelled "Cagegory", as every installation writes and reads it; the import takes
    // "Category" first and "Cagegory" otherwise.
    static QByteArray BuildCamDocument(const TCamWebcam& webcam, const QStringList& categoryPath);

    // The .cal document: a chain of Category elements for ancestorNames (top level first), the
    // last of which holds the exported category's element.
    static QByteArray BuildCalDocument(const QStringList& ancestorNames,
                                       std::unique_ptr<TXmlElement> exported);
    // The same from a catalogue category: its sub-categories, then its webcams, recursively.
    static QByteArray BuildCalDocument(const QStringList& ancestorNames,
                                       const TCamCategory& exported);
    // Building blocks for a tree in another order (the editor's): a Category element with its Name,
    // and a Webcam element with the six exchanged attributes.
    static std::unique_ptr<TXmlElement> NewCalCategory(const QString& name);
    static std::unique_ptr<TXmlElement> NewCalWebcam(const TCamWebcam& webcam);
    // Whether an export leaves something of the webcam out: a user name or password in one of
    // its exchanged addresses, or a password in an address in its name.
    static bool HoldsCredentials(const TCamWebcam& webcam);

    // Writes a document atomically; on failure false and the system's error text.
    static bool WriteDocument(const QString& path, const QByteArray& document,
                              QString* errorText = nullptr);

    // Reads an exchange file and merges it into root. The root element's exact name decides:
    // Category imports a category list, Webcam a single webcam, anything else nothing. A file
    // that is not well-formed changes nothing. Nothing is reported to the user: report receives
    // the reason of a Nothing or Refused import, or the count and place of the webcams added,
    // for the caller to report.
    static TImportResult ImportFile(const QString& path, TCamCategory& root,
                                    const TImportCallbacks& callbacks,
                                    TImportReport* report = nullptr);
    static TImportResult ImportBytes(const QByteArray& bytes, TCamCategory& root,
                                     const TImportCallbacks& callbacks,
                                     TImportReport* report = nullptr);
    // The bytes the catalogue root takes in Options.xml (its element one level below Options).
    // Counted from the catalogue's elements, without writing the bytes.
    static qint64 WrittenCatalogueSize(const TCamCategory& root);
};

// Categories deeper than this below the root are not created by an import: the settings file
// written afterwards must stay within the reader's nesting limit.
inline constexpr int MaxImportCategoryDepth = MaxCategoryDepth;
