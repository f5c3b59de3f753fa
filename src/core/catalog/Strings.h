#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class TXmlElement;

// The program's own message texts: each a global text with an English default, read at the moment
// it is shown, so a language applied later reaches every later use. A language file changes them
// through the table Variables.
extern QString EmptyCat;
extern QString TimeLeft; // a format: "%d" stands for the seconds
extern QString TimeLeftOne;
extern QString TestingRefresh;
extern QString RefreshTitle;
extern QString RefreshCaption;
extern QString NoWindow;
extern QString AviGenerated;
extern QString StartText;
extern QString StartTitle; // followed directly by the product name
extern QString Refreshing; // followed directly by a webcam's name
extern QString NewCat;
extern QString NewCam;
extern QString ImportedCat;
extern QString CamHint; // markers %name% %url% %email% %home% %date%
extern QString Unknow;
extern QString OnlineText;
// Why a fetch failed, for the hints of the viewer and the chooser.
extern QString FailureHint; // markers %cause% %time%
extern QString FailNameNotFound;
extern QString FailRefused;
extern QString FailTimedOut;
extern QString FailRedirect;
extern QString FailTooLarge;
extern QString FailBroken;
extern QString FailNotJpeg;
extern QString FailImageTooLarge; // marker %size%: "<width> x <height>"
extern QString FailAddress;       // an address that is not http or https
extern QString FailProxyRefused;  // marker %proxy%: host:port of the proxy
extern QString FailProxyNotFound; // marker %proxy%
extern QString StreamLive;        // a format: "%d" stands for the frames per second
// A 401: the webcam wants a user name and a password (marker %status%: "401" and the server's
// words).
extern QString FailSignIn;
extern QString FailRedirectLoop; // more redirects than are followed
// An https webcam whose certificate is not trusted: self-signed, out of its dates, made out to
// another name, or else (marker %code%: the X509 verification code).
extern QString FailCertSelfSigned;
extern QString FailCertExpired;
extern QString FailCertName;
extern QString FailCertUntrusted;
// A line of the hint of a webcam that moved for good (marker %url%: the new address, masked).
extern QString MovedHint;
// The catalogue editor's report of a failed export; markers %path% %error% (the system's reason).
extern QString ExportFailed;
// An export that left the user names and passwords of webcams' addresses out; markers %path%
// %count% (how many webcams had them).
extern QString ExportNoCredentials;
// An import refused whole; markers %path% %reason%, the reason one of the Refused texts (%max%:
// the longest field in characters).
extern QString ImportRefused;
extern QString RefusedListTooLarge;
extern QString RefusedLongText;
extern QString RefusedEntities;
extern QString RefusedFileTooLarge;
extern QString RefusedUnreadable;  // marker %error%: the system's reason
extern QString RefusedDamaged;     // marker %error%: where the file stops being well-formed
extern QString RefusedNotExchange; // the root element is neither Category nor Webcam
extern QString RefusedNoWebcam;    // a webcam file without Url or Name
extern QString RefusedBadPath;     // marker %max%: the deepest category path
// An import done; markers %path% %count% %where%, then ImportAlreadyIn (marker %count%) when some
// webcams of the list were already in their category.
extern QString ImportDone;
extern QString ImportAlreadyIn;
// The chooser: the tree node of the webcams at the top level of the catalogue, the question
// before its Delete command (marker %names%: one name a line), and the title and filter of its
// file dialog for importing a list.
extern QString TopLevelCams;
extern QString DeleteCamsAsk;
extern QString ImportListTitle;
extern QString ImportListFilter;
// The filters of the other file dialogs: JPEG pictures to open (AVI creator), a JPEG picture and
// an AVI file to save, a webcam file and a webcam list to export.
extern QString JpegFilesFilter;
extern QString JpegFileFilter;
extern QString AviFileFilter;
extern QString CamInfoFilter;
extern QString CamListFilter;
// A settings file that could not be read whole, told once at start: moved aside (markers %reason%
// %copy%), or left in place with saves held for the run (markers %path% %reason%).
extern QString OptionsKeptAside;
extern QString OptionsLeftAlone;
// The viewer's custom interval refused (marker %text%: what was typed).
extern QString IntervalRefused;
// The viewer's Save failed; markers %path% %reason%.
extern QString SaveImageFailed;
// The viewer's hint while its images cannot be archived (marker %reason%), and what the user is
// told once per webcam in a session (markers %name% %path% %reason%).
extern QString NotArchived;
extern QString ArchiveFailed;
// The AVI creator: its progress (markers %done% %total%, then %time%: the time left), the file
// written (markers %path% %size%), how many pictures of another size were cut or fitted (marker
// %count%), and files refused because they are on the list already (marker %names%: one a line).
extern QString AviFramesDone;
extern QString AviTimeLeft;
extern QString AviFileWritten;
extern QString AviPicturesCut;
extern QString AviPicturesFitted;
extern QString AviAlreadyListed;

// The line break of message texts (CamHint's lines, backslash-n of a language file).
inline const QString MessageLineBreak = QStringLiteral("\r\n");

// The table from key to message variable. Keys are compared without regard to case; the table
// holds no texts of its own: setting a key writes into the variable it was registered with.
class TVariables
{
public:
    void RegisterVariable(const QString& key, QString* variable);
    // The variable registered under the key (any letter case); null when the table lacks it.
    QString* Find(const QString& key) const;
    // Writes value into the key's variable, every backslash-n turned into a line break. A key
    // that the table lacks changes nothing and gives false.
    bool SetValue(const QString& key, const QString& value);
    // The Variables element of a language file: each child, whatever its name, gives a key in its
    // attribute Name and the new text in its attribute Value. Returns the number of texts set.
    int LoadFromXml(const TXmlElement& element);
    int Count() const { return static_cast<int>(entries_.size()); }
    // Keys in the order of registration.
    QStringList Keys() const;

private:
    struct TEntry
    {
        QString Key;
        QString* Variable;
    };
    std::vector<TEntry> entries_;
};

// Registers the message variables, in their fixed order: the seventeen first ones, then the
// failure texts.
void RegisterMessageVariables(TVariables& variables);
// Puts every message variable back to its English default (used by tests and a fresh start).
void RestoreMessageDefaults();
