#pragma once

#include "core/catalog/Catalog.h"
#include "core/catalog/ProxySettings.h"
#include "core/catalog/SettingDescriptor.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TXmlElement;

// What LoadOptions found.
enum class TLoadResult
{
    NoFile, // no settings file and no default settings: every setting keeps the constructor's value
    Defaults, // no settings file: the shipped default settings were read
    Loaded,   // read completely
    Partial,  // the file is damaged: what came before the fault was read, the rest kept as built
};

// The settings controller: every setting, the catalogue root and the recently viewed list, read
// from and written to Options.xml. One instance for the run, CamViewer, created by the tray
// window. Each setting is a field below and one line of the table Settings(), which Options.xml
// is read and written from.
class TCamViewer
{
public:
    TCamViewer();
    ~TCamViewer();
    TCamViewer(const TCamViewer&) = delete;
    TCamViewer& operator=(const TCamViewer&) = delete;

    TCamCategory Root;
    bool AlwaysOnTop = false;
    bool SaveImages = false;
    QString SavePath;
    bool Beep = false;
    bool PropResize = false;
    bool Status = false;
    bool SubDirectory = false;
    bool FirstLaunch = false;
    QString Language;
    bool LaunchWindows = false;
    bool ScrollMosaic = false;
    // The AVI creator's last choices: JPEG frames instead of uncompressed ones, and pictures of
    // another size fitted to the frame. False when the file lacks them.
    bool AviCompact = false;
    bool AviFit = false;
    QStringList LastUsed; // URLs, most recent first

    // The proxy settings change through SetProxy only, which publishes them to the fetch threads.
    QString ProxyHost() const { return proxy_.Host; }
    int ProxyPort() const { return proxy_.Port; }
    QString ProxyUser() const { return proxy_.User; }
    QString ProxyPass() const { return proxy_.Pass; }
    TProxySettings Proxy() const { return proxy_; }
    void SetProxy(const TProxySettings& proxy);
    void SetProxy(const QString& host, int port, const QString& user, const QString& pass);

    // Every setting of Options.xml in file order: element name, type and default, read and write
    // rule. The catalogue, the open viewers and the recently viewed list follow them in the file.
    static const std::vector<TSettingDescriptor>& Settings();
    // The setting with that element name (case ignored), or null.
    static const TSettingDescriptor* FindSetting(QStringView name);
    // A setting's value, and a change through its read rule (false: no such setting, or a value
    // of another type). OnSettingChanged hears of every change made here or by LoadFromXml.
    TSettingValue Value(QStringView name) const;
    bool SetValue(QStringView name, const TSettingValue& value);
    std::function<void(const QString& name)> OnSettingChanged;

    // The tray window's OpenViewer, through which LoadOptions reopens the viewers of OpenedCams.
    TOpenViewerFunc OnOpenViewer;
    // Copies of the open viewers' webcams, newest window first; SaveOptions copies their window
    // state into the catalogue and lists their Urls under OpenedCams.
    std::function<std::vector<TCamWebcam>()> OnOpenViewers;

    // Where the settings live: Options.xml beside the executable when one stands there, otherwise
    // $XDG_CONFIG_HOME/Pictavo/Options.xml. The constructor sets OptionsPath to it.
    static QString DefaultOptionsPath();
    // The same rule for a given folder of the executable.
    static QString OptionsPathFor(const QString& executableDir);
    QString OptionsPath;
    // The shipped settings that a start without a settings file reads (DefaultOptions.xml beside
    // the executable or in the prefix's data folder); empty when there are none. Never written.
    QString DefaultsPath;
    // The program that the autostart entry starts; the running executable by default.
    QString ProgramPath;
    // $XDG_CONFIG_HOME/autostart/pictavo.desktop
    static QString AutostartPath();
    // The defaults of settings that the file lacks.
    static QString DefaultSavePath(); // $HOME/Webcams
    static constexpr int DefaultProxyPort = 8000;

    // Reads the settings file. A missing file reads the default settings instead, if there are
    // any and they read completely (they neither reopen viewers nor touch the autostart entry);
    // a damaged one (cut short, not XML, over the size limit, unreadable) gives what came before
    // the fault and reopens no viewer. Such a file is never written over: it is moved aside to
    // Options.xml.damaged (.damaged.2 and on when taken), or, when that fails, left in place
    // with SaveOptions held for the run. RefusedReason and RefusedCopy then say why and where.
    TLoadResult LoadOptions();
    // Reads the settings from a parsed document (the work of LoadOptions after the parse).
    void LoadFromXml(const TXmlElement& root, bool complete);
    // Writes the settings file atomically with mode 0600; false when it could not be written, in
    // which case the previous file is left as it was. Nothing is written while saves are held, nor
    // a document over the reader's size limit (MaxXmlFileSize).
    bool SaveOptions();
    // After a load that could not read the file whole: the reader's reason, and where the file
    // is kept (its own path when it could not be moved aside). Empty otherwise.
    QString RefusedReason;
    QString RefusedCopy;
    // The refused file stands at OptionsPath: SaveOptions writes nothing in this run.
    bool SavesHeld() const { return savesHeld_; }
    // The document that SaveOptions writes (FirstLaunch becomes false).
    QByteArray SaveToBytes();

    // Stores the value and writes (true) or removes (false) the autostart entry; failures are
    // ignored.
    void SetLaunchWindows(bool value);
    // Puts the webcam's Url in front of LastUsed (at most 11 entries, no duplicate of it). Does
    // nothing for the viewers that LoadOptions reopens.
    void AddLastUsed(const TCamWebcam& webcam);
    int LastUsedCount() const { return static_cast<int>(LastUsed.size()); }
    // The catalogue webcam of entry index, null when its Url is no longer in the catalogue.
    TCamWebcam* LastUsedWebcam(int index) const;

private:
    TProxySettings proxy_;
    bool reopening_ = false;
    bool readingDefaults_ = false;
    bool savesHeld_ = false;
    bool loading_ = false; // the proxy is published once, after the whole file

    TLoadResult LoadDefaults();
    void Apply(const TSettingDescriptor& setting, const TSettingValue& value);
    void ChangeProxy(const std::function<void(TProxySettings&)>& change);
    void KeepRefusedFile(const QString& reason);
};

// The desktop entry that starts the program at log-in: Exec="<program path>" with the quoting
// and escaping rules of desktop entries.
QString AutostartEntry(const QString& programPath);

// The single instance, set by the tray window when it creates the controller.
extern TCamViewer* CamViewer;
