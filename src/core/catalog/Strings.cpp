#include "core/catalog/Strings.h"

#include "core/catalog/XmlDocument.h"

namespace {

struct TMessageDefault
{
    const char* Key;
    QString* Variable;
    const char* Text;
};

const char* const CamHintDefault = "Name: %name%\r\n"
                                   "Url: %url%\r\n"
                                   "Email: %email%\r\n"
                                   "Homepage: %home%\r\n"
                                   "Last Updated: %date%";

} // namespace

QString EmptyCat = QStringLiteral("Empty Category");
QString TimeLeft = QStringLiteral("%d seconds");
QString TimeLeftOne = QStringLiteral("1 second");
QString TestingRefresh = QStringLiteral("Checking...");
QString RefreshTitle = QStringLiteral("Refresh");
QString RefreshCaption = QStringLiteral("Enter value for refresh interval, in seconds");
QString NoWindow = QStringLiteral("No Window");
QString AviGenerated = QStringLiteral("AVI Generation Complete");
QString StartText =
    QStringLiteral("Right click on this icon and select a webcam you want to watch.");
QString StartTitle = QStringLiteral("First Launch of ");
QString Refreshing = QStringLiteral("Refreshing ");
QString NewCat = QStringLiteral("New Category");
QString NewCam = QStringLiteral("New Webcam");
QString ImportedCat = QStringLiteral("Imported");
QString CamHint = QString::fromLatin1(CamHintDefault);
QString Unknow = QStringLiteral("Unknown");
QString OnlineText = QStringLiteral(" (online)");

namespace {

const TMessageDefault MessageDefaults[] = {
    {"EmptyCat", &EmptyCat, "Empty Category"},
    {"TimeLeft", &TimeLeft, "%d seconds"},
    {"TimeLeftOne", &TimeLeftOne, "1 second"},
    {"TestingRefresh", &TestingRefresh, "Checking..."},
    {"RefreshTitle", &RefreshTitle, "Refresh"},
    {"RefreshCaption", &RefreshCaption, "Enter value for refresh interval, in seconds"},
    {"NoWindow", &NoWindow, "No Window"},
    {"AviGenerated", &AviGenerated, "AVI Generation Complete"},
    {"StartText", &StartText, "Right click on this icon and select a webcam you want to watch."},
    {"StartTitle", &StartTitle, "First Launch of "},
    {"Refreshing", &Refreshing, "Refreshing "},
    {"NewCat", &NewCat, "New Category"},
    {"NewCam", &NewCam, "New Webcam"},
    {"ImportedCat", &ImportedCat, "Imported"},
    {"CamHint", &CamHint, CamHintDefault},
    {"Unknow", &Unknow, "Unknown"},
    {"OnlineText", &OnlineText, " (online)"},
};

} // namespace

void TVariables::RegisterVariable(const QString& key, QString* variable)
{
    entries_.push_back({key, variable});
}

QString* TVariables::Find(const QString& key) const
{
    for (const TEntry& entry : entries_) {
        if (entry.Key.compare(key, Qt::CaseInsensitive) == 0)
            return entry.Variable;
    }
    return nullptr;
}

bool TVariables::SetValue(const QString& key, const QString& value)
{
    QString* variable = Find(key);
    if (!variable)
        return false;
    QString text = value;
    text.replace(QStringLiteral("\\n"), MessageLineBreak);
    *variable = text;
    return true;
}

int TVariables::LoadFromXml(const TXmlElement& element)
{
    int set = 0;
    for (const auto& child : element.Children()) {
        const TXmlAttribute* key = child->FindAttribute(u"Name");
        if (key && SetValue(key->Value, child->Attribute(u"Value")))
            ++set;
    }
    return set;
}

QStringList TVariables::Keys() const
{
    QStringList keys;
    for (const TEntry& entry : entries_)
        keys.append(entry.Key);
    return keys;
}

void RegisterMessageVariables(TVariables& variables)
{
    for (const TMessageDefault& message : MessageDefaults)
        variables.RegisterVariable(QString::fromLatin1(message.Key), message.Variable);
}

void RestoreMessageDefaults()
{
    for (const TMessageDefault& message : MessageDefaults)
        *message.Variable = QString::fromLatin1(message.Text);
}
