#include "core/catalog/Settings.h"

#include "core/Log.h"
#include "core/catalog/PasswordCodec.h"
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

namespace {

// A switch of the controller. An element that early files lack reads as on, as does a text that
// is neither true nor false; the later ones (byDefault false) read as off.
TSettingDescriptor Switch(const char* name, bool TCamViewer::*field, bool byDefault = true)
{
    return {QLatin1String(name), [byDefault] { return TSettingValue(byDefault); },
            [field](const TCamViewer& viewer) { return TSettingValue(viewer.*field); },
            [field](TCamViewer& viewer, const TSettingValue& value) {
                viewer.*field = std::get<bool>(value);
            }};
}

// A text of the controller, empty when the file lacks it.
TSettingDescriptor Text(const char* name, QString TCamViewer::*field)
{
    return {QLatin1String(name), [] { return TSettingValue(QString()); },
            [field](const TCamViewer& viewer) { return TSettingValue(viewer.*field); },
            [field](TCamViewer& viewer, const TSettingValue& value) {
                viewer.*field = std::get<QString>(value);
            }};
}

} // namespace

const std::vector<TSettingDescriptor>& TCamViewer::Settings()
{
    const auto proxyText = [](const char* name, QString TProxySettings::*field) {
        return TSettingDescriptor{
            QLatin1String(name), [] { return TSettingValue(QString()); },
            [field](const TCamViewer& viewer) { return TSettingValue(viewer.proxy_.*field); },
            [field](TCamViewer& viewer, const TSettingValue& value) {
                viewer.ChangeProxy(
                    [&](TProxySettings& proxy) { proxy.*field = std::get<QString>(value); });
            }};
    };
    static const std::vector<TSettingDescriptor> table = {
        Switch("AlwaysOnTop", &TCamViewer::AlwaysOnTop),
        Switch("SaveImages", &TCamViewer::SaveImages),
        // A folder copied from a Windows installation ("C:\\Webcams") or any other relative path
        // would archive into whatever the current folder is: it takes the default folder instead.
        {QStringLiteral("SavePath"), [] { return TSettingValue(DefaultSavePath()); },
         [](const TCamViewer& viewer) { return TSettingValue(viewer.SavePath); },
         [](TCamViewer& viewer, const TSettingValue& value) {
             viewer.SavePath = std::get<QString>(value);
             if (!viewer.SavePath.isEmpty() && !QDir::isAbsolutePath(viewer.SavePath)) {
                 qCInfo(lcSettings) << "SavePath" << viewer.SavePath
                                    << "is not an absolute path; using" << DefaultSavePath();
                 viewer.SavePath = DefaultSavePath();
             }
         }},
        Switch("Beep", &TCamViewer::Beep),
        Switch("PropResize", &TCamViewer::PropResize),
        Switch("Status", &TCamViewer::Status),
        Switch("SubDirectory", &TCamViewer::SubDirectory),
        Switch("FirstLaunch", &TCamViewer::FirstLaunch),
        Text("Language", &TCamViewer::Language),
        // The default settings describe a fresh start: the user's autostart entry is not theirs
        // to change. Any other file's value writes or removes it.
        {QStringLiteral("LaunchWindows"), [] { return TSettingValue(true); },
         [](const TCamViewer& viewer) { return TSettingValue(viewer.LaunchWindows); },
         [](TCamViewer& viewer, const TSettingValue& value) {
             if (viewer.readingDefaults_)
                 viewer.LaunchWindows = std::get<bool>(value);
             else
                 viewer.SetLaunchWindows(std::get<bool>(value));
         }},
        Switch("ScrollMosaic", &TCamViewer::ScrollMosaic),
        proxyText("ProxyHost", &TProxySettings::Host),
        {QStringLiteral("ProxyPort"), [] { return TSettingValue(DefaultProxyPort); },
         [](const TCamViewer& viewer) { return TSettingValue(viewer.proxy_.Port); },
         [](TCamViewer& viewer, const TSettingValue& value) {
             viewer.ChangeProxy([&](TProxySettings& proxy) { proxy.Port = std::get<int>(value); });
         }},
        proxyText("ProxyUser", &TProxySettings::User),
        // Stored encoded (TSUtils::EncodeText), never as the password itself.
        [proxyText] {
            TSettingDescriptor pass = proxyText("ProxyPass", &TProxySettings::Pass);
            pass.Store = [](const QString& text) { return TSUtils::EncodeText(text); };
            pass.Restore = [](const QString& text) { return TSUtils::DecodeText(text); };
            return pass;
        }(),
        Switch("AviCompact", &TCamViewer::AviCompact, false),
        Switch("AviFit", &TCamViewer::AviFit, false),
    };
    return table;
}

const TSettingDescriptor* TCamViewer::FindSetting(QStringView name)
{
    for (const TSettingDescriptor& setting : Settings())
        if (setting.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &setting;
    return nullptr;
}

TSettingValue TCamViewer::Value(QStringView name) const
{
    const TSettingDescriptor* setting = FindSetting(name);
    return setting ? setting->Get(*this) : TSettingValue();
}

bool TCamViewer::SetValue(QStringView name, const TSettingValue& value)
{
    const TSettingDescriptor* setting = FindSetting(name);
    if (!setting || value.index() != setting->Default().index())
        return false;
    Apply(*setting, value);
    return true;
}

void TCamViewer::Apply(const TSettingDescriptor& setting, const TSettingValue& value)
{
    const TSettingValue before = setting.Get(*this);
    setting.Set(*this, value);
    if (OnSettingChanged && setting.Get(*this) != before)
        OnSettingChanged(setting.Name);
}

void TCamViewer::ChangeProxy(const std::function<void(TProxySettings&)>& change)
{
    change(proxy_);
    if (!loading_)
        PublishProxySettings(proxy_);
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
    const TXmlElement* category = root.FindChild(u"Category");
    if (!category)
        return;
    Root.LoadFromXml(*category);

    loading_ = true;
    for (const TSettingDescriptor& setting : Settings()) {
        if (const TXmlElement* element = usable(setting.Name))
            Apply(setting, setting.Parse(element->Text));
        else if (complete)
            Apply(setting, setting.Default());
    }
    loading_ = false;
    PublishProxySettings(proxy_);

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
    FirstLaunch = false;
    for (const TSettingDescriptor& setting : Settings())
        root.AddChild(setting.Name, setting.Text(setting.Get(*this)));

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
