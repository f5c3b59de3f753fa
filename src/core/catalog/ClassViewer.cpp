#include "core/catalog/ClassViewer.h"

#include "core/Log.h"
#include "core/catalog/ClassUtils.h"
#include "core/catalog/ShippedFiles.h"
#include "core/catalog/XmlDocument.h"
#include "core/io/AtomicFile.h"
#include "core/rules/DesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

TCamViewer* CamViewer = nullptr;

namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Options > Category (root) > Categories > Category ... > Cams > Cam: two elements per level.
static_assert(4 + 2 * MaxCategoryDepth <= MaxXmlDepth,
              "a catalogue of the deepest allowed nesting must read back whole");

// Settings files kept aside after failed reads: Options.xml.damaged, then .damaged.2 and on.
constexpr int MaxKeptFiles = 100;

// The entries of the recently viewed list kept behind a newly added one.
constexpr int LastUsedKept = 10;

QString ExecutableDir()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

} // namespace

TCamViewer::TCamViewer()
{
    OptionsPath = DefaultOptionsPath();
    DefaultsPath = ShippedPath(QLatin1String(DefaultOptionsName));
    if (QCoreApplication::instance())
        ProgramPath = QCoreApplication::applicationFilePath();
}

TCamViewer::~TCamViewer()
{
    if (CamViewer == this)
        CamViewer = nullptr;
}

QString TCamViewer::DefaultOptionsPath()
{
    return OptionsPathFor(ExecutableDir());
}

QString TCamViewer::OptionsPathFor(const QString& dir)
{
    if (!dir.isEmpty()) {
        const QString portable = dir + QStringLiteral("/Options.xml");
        if (QFileInfo(portable).isFile())
            return portable;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Pictavo/Options.xml");
}

QString TCamViewer::AutostartPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/pictavo.desktop");
}

QString TCamViewer::DefaultSavePath()
{
    return QDir::homePath() + QStringLiteral("/Webcams");
}

void TCamViewer::SetProxy(const TProxySettings& proxy)
{
    proxy_ = proxy;
    PublishProxySettings(proxy_);
}

void TCamViewer::SetProxy(const QString& host, int port, const QString& user, const QString& pass)
{
    SetProxy(TProxySettings{host, port, user, pass});
}

TLoadResult TCamViewer::LoadOptions()
{
    QFileInfo info(OptionsPath);
    if (!info.exists())
        return LoadDefaults();
    TXmlDocument document = ReadXmlFile(OptionsPath);
    const bool complete = document.IsOk();
    if (!complete)
        qCInfo(lcSettings) << "Options.xml" << OptionsPath
                           << "could be read only in part:" << document.ErrorString;
    if (!complete && info.size() > 0)
        KeepRefusedFile(document.ErrorString);
    if (document.Root)
        LoadFromXml(*document.Root, complete);
    return complete ? TLoadResult::Loaded : TLoadResult::Partial;
}

void TCamViewer::KeepRefusedFile(const QString& reason)
{
    RefusedReason = reason;
    // Moved aside whole under a name no earlier refusal took: the saves of this run then write a
    // new file, and the refused one is never written over nor copied (it may be huge).
    QString aside = OptionsPath + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside) && n <= MaxKeptFiles; ++n)
        aside = OptionsPath + QStringLiteral(".damaged.%1").arg(n);
    if (!QFileInfo::exists(aside) && QFile::rename(OptionsPath, aside)) {
        QFile::setPermissions(aside, OwnerOnly);
        RefusedCopy = aside;
        qCInfo(lcSettings) << "the settings file that could not be read whole is kept as" << aside;
        return;
    }
    // It stays where it is, and nothing is saved over it while the program runs.
    RefusedCopy = OptionsPath;
    savesHeld_ = true;
    qCInfo(lcSettings) << "cannot move the settings file aside to" << aside
                       << "; nothing is saved over" << OptionsPath << "in this run";
}

TLoadResult TCamViewer::LoadDefaults()
{
    if (DefaultsPath.isEmpty() || !QFileInfo(DefaultsPath).isFile())
        return TLoadResult::NoFile;
    const TXmlDocument document = ReadXmlFile(DefaultsPath);
    if (!document.IsOk() || !document.Root) {
        // Half a set of defaults is worse than none: the start goes on with the built-in values.
        qCInfo(lcSettings) << "the default settings" << DefaultsPath
                           << "are not used:" << document.ErrorString;
        return TLoadResult::NoFile;
    }
    qCInfo(lcSettings) << "no settings file yet; reading the default settings" << DefaultsPath;
    readingDefaults_ = true;
    LoadFromXml(*document.Root, true);
    readingDefaults_ = false;
    return TLoadResult::Defaults;
}

void TCamViewer::LoadFromXml(const TXmlElement& root, bool complete)
{
    // In a damaged document an element that is missing or cut short may have been lost to the
    // fault: its setting keeps the constructor's value instead of taking the default.
    const auto usable = [&](QStringView name) -> const TXmlElement* {
        const TXmlElement* element = root.FindChild(name);
        if (element && !element->Complete)
            return nullptr;
        return element;
    };
    const auto readBool = [&](QStringView name, bool& field) {
        const TXmlElement* element = usable(name);
        if (element)
            field = XmlBoolValue(element->Text, true);
        else if (complete)
            field = true;
    };
    const auto readText = [&](QStringView name, QString& field, const QString& defaultValue) {
        const TXmlElement* element = usable(name);
        if (element)
            field = element->Text;
        else if (complete)
            field = defaultValue;
    };

    const TXmlElement* category = root.FindChild(u"Category");
    if (!category)
        return;
    Root.LoadFromXml(*category);

    readBool(u"AlwaysOnTop", AlwaysOnTop);
    readBool(u"SaveImages", SaveImages);
    readText(u"SavePath", SavePath, DefaultSavePath());
    // A folder copied from a Windows installation ("C:\\Webcams") or any other relative path
    // would archive into whatever the current folder is: it takes the default folder instead.
    if (!SavePath.isEmpty() && !QDir::isAbsolutePath(SavePath)) {
        qCInfo(lcSettings) << "SavePath" << SavePath << "is not an absolute path; using"
                           << DefaultSavePath();
        SavePath = DefaultSavePath();
    }
    readBool(u"Beep", Beep);
    readBool(u"PropResize", PropResize);
    readBool(u"Status", Status);
    readBool(u"SubDirectory", SubDirectory);
    readBool(u"FirstLaunch", FirstLaunch);
    readText(u"Language", Language, QString());
    if (readingDefaults_) {
        // The defaults describe a fresh start: the user's autostart entry is not theirs to change.
        readBool(u"LaunchWindows", LaunchWindows);
    } else if (complete || usable(u"LaunchWindows")) {
        bool launch = LaunchWindows;
        readBool(u"LaunchWindows", launch);
        SetLaunchWindows(launch);
    }
    readBool(u"ScrollMosaic", ScrollMosaic);
    TProxySettings proxy = proxy_;
    readText(u"ProxyHost", proxy.Host, QString());
    if (const TXmlElement* port = usable(u"ProxyPort"))
        proxy.Port = XmlIntegerValue(port->Text);
    else if (complete)
        proxy.Port = DefaultProxyPort;
    readText(u"ProxyUser", proxy.User, QString());
    QString encoded;
    readText(u"ProxyPass", encoded, QString());
    if (complete || usable(u"ProxyPass"))
        proxy.Pass = TSUtils::DecodeText(encoded);
    SetProxy(proxy);
    // Settings the first files did not have: a missing element means off.
    const auto readNewBool = [&](QStringView name, bool& field) {
        if (const TXmlElement* element = usable(name))
            field = XmlBoolValue(element->Text, false);
        else if (complete)
            field = false;
    };
    readNewBool(u"AviCompact", AviCompact);
    readNewBool(u"AviFit", AviFit);

    // The recently viewed list is exactly the file's. It is read before the viewers are reopened:
    // each reopening saves the settings, and those saves write the file's list unchanged.
    LastUsed.clear();
    if (const TXmlElement* lastUsed = root.FindChild(u"LastUsed")) {
        for (const auto& item : lastUsed->Children()) {
            if (item->Complete)
                LastUsed.append(item->Text);
        }
    }

    // Reopening a viewer saves the settings; a damaged file is not rewritten by its own load, and
    // the defaults open nothing.
    if (complete && !readingDefaults_) {
        if (const TXmlElement* opened = root.FindChild(u"OpenedCams")) {
            reopening_ = true;
            for (const auto& cam : opened->Children())
                Root.OpenWebcam(cam->Attribute(u"Url"), OnOpenViewer);
            reopening_ = false;
        }
    }
}

QByteArray TCamViewer::SaveToBytes()
{
    TXmlElement root(QStringLiteral("Options"));
    root.AddChild(QStringLiteral("AlwaysOnTop"), XmlBoolText(AlwaysOnTop));
    root.AddChild(QStringLiteral("SaveImages"), XmlBoolText(SaveImages));
    root.AddChild(QStringLiteral("SavePath"), SavePath);
    root.AddChild(QStringLiteral("Beep"), XmlBoolText(Beep));
    root.AddChild(QStringLiteral("PropResize"), XmlBoolText(PropResize));
    root.AddChild(QStringLiteral("Status"), XmlBoolText(Status));
    root.AddChild(QStringLiteral("SubDirectory"), XmlBoolText(SubDirectory));
    FirstLaunch = false;
    root.AddChild(QStringLiteral("FirstLaunch"), XmlBoolText(FirstLaunch));
    root.AddChild(QStringLiteral("Language"), Language);
    root.AddChild(QStringLiteral("LaunchWindows"), XmlBoolText(LaunchWindows));
    root.AddChild(QStringLiteral("ScrollMosaic"), XmlBoolText(ScrollMosaic));
    root.AddChild(QStringLiteral("ProxyHost"), proxy_.Host);
    root.AddChild(QStringLiteral("ProxyPort"), QString::number(proxy_.Port));
    root.AddChild(QStringLiteral("ProxyUser"), proxy_.User);
    root.AddChild(QStringLiteral("ProxyPass"), TSUtils::EncodeText(proxy_.Pass));
    root.AddChild(QStringLiteral("AviCompact"), XmlBoolText(AviCompact));
    root.AddChild(QStringLiteral("AviFit"), XmlBoolText(AviFit));

    TXmlElement* opened = root.AddChild(QStringLiteral("OpenedCams"));
    if (OnOpenViewers) {
        for (const TCamWebcam& viewerCam : OnOpenViewers()) {
            if (TCamWebcam* webcam = Root.FindWebcam(viewerCam.Url))
                webcam->AssignUserState(viewerCam);
            opened->AddChild(QStringLiteral("Cam"))
                ->AddAttribute(QStringLiteral("Url"), viewerCam.Url);
        }
    }

    root.AddChild(Root.SaveToXml());

    TXmlElement* lastUsed = root.AddChild(QStringLiteral("LastUsed"));
    for (const QString& url : LastUsed)
        lastUsed->AddChild(QStringLiteral("Item"), url);

    return WriteXml(root);
}

bool TCamViewer::SaveOptions()
{
    if (savesHeld_) {
        qCInfo(lcSettings) << "not saved: the settings file" << OptionsPath
                           << "that could not be read is left as it is";
        return false;
    }
    const QByteArray bytes = SaveToBytes();
    // A file the reader would refuse at the next start would cost every setting and webcam.
    if (bytes.size() > MaxXmlFileSize) {
        qCInfo(lcSettings) << "not saved: the settings would take" << bytes.size()
                           << "bytes, over the" << MaxXmlFileSize << "that can be read back";
        return false;
    }
    QString error;
    if (WriteFileAtomically(OptionsPath, bytes, OwnerOnly, &error))
        return true;
    qCInfo(lcSettings) << "cannot save" << OptionsPath << ":" << error;
    return false;
}

QString AutostartEntry(const QString& programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Pictavo\n"
                          "Exec=") +
           DesktopExecArgument(programPath) +
           QStringLiteral("\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n");
}

void TCamViewer::SetLaunchWindows(bool value)
{
    LaunchWindows = value;
    const QString path = AutostartPath();
    QString error;
    if (value) {
        if (!WriteFileAtomically(path, AutostartEntry(ProgramPath).toUtf8(),
                                 OwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther,
                                 &error))
            qCInfo(lcSettings) << "cannot write the autostart entry" << path << ":" << error;
    } else if (QFileInfo(path).exists() && !QFile::remove(path)) {
        qCInfo(lcSettings) << "cannot remove the autostart entry" << path;
    }
}

void TCamViewer::AddLastUsed(const TCamWebcam& webcam)
{
    // The viewers reopened while the settings load leave the list as the file has it.
    if (reopening_)
        return;
    LastUsed.removeAll(webcam.Url);
    while (LastUsed.size() > LastUsedKept)
        LastUsed.removeAt(LastUsedKept);
    LastUsed.prepend(webcam.Url);
}

TCamWebcam* TCamViewer::LastUsedWebcam(int index) const
{
    if (index < 0 || index >= LastUsed.size())
        return nullptr;
    return Root.FindWebcam(LastUsed[index]);
}
