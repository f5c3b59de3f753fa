// LoadOptions on any Options.xml: the load never rewrites the file, a damaged file is copied
// aside whole, and what the settings then save reads back to the same settings.
#include "FuzzUtil.h"
#include "core/catalog/Settings.h"
#include "core/catalog/XmlDocument.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::Scratch();
    Fuzz::EnsureCoreApp();
    return 0;
}

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const QString path = Fuzz::WriteScratchFile(QStringLiteral("Options.xml"), bytes);
    const QString damaged = path + QStringLiteral(".damaged");
    QFile::remove(damaged);

    int reopened = 0;
    TCamViewer viewer;
    viewer.OptionsPath = path;
    viewer.OnOpenViewer = [&reopened](TCamWebcam* webcam, bool) {
        Fuzz::Check(webcam != nullptr, "a reopened viewer has its webcam");
        ++reopened;
    };
    const TLoadResult result = viewer.LoadOptions();
    Fuzz::Check(FileBytes(path) == bytes, "the load leaves Options.xml as it was");
    if (result == TLoadResult::Partial) {
        Fuzz::Check(reopened == 0, "a damaged file reopens no viewer");
        Fuzz::Check(bytes.isEmpty() || FileBytes(damaged) == bytes,
                    "a damaged file is copied aside whole");
    }

    const QByteArray saved = viewer.SaveToBytes();
    const TXmlDocument document = ReadXml(saved);
    Fuzz::Check(document.IsOk(), "the saved settings read without fault");
    TCamViewer again;
    again.OptionsPath = Fuzz::Scratch() + QStringLiteral("/unused.xml");
    again.LoadFromXml(*document.Root, true);
    Fuzz::Check(again.SaveToBytes() == saved, "the saved settings load back the same");
    return 0;
}
