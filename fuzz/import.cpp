// ImportFile on any .cam or .cal file (the first byte picks the extension, the rest is the file):
// whatever is merged into the catalogue, the settings file written afterwards reads back whole
// and loads to the same catalogue.
#include "FuzzUtil.h"
#include "core/catalog/ExchangeFiles.h"
#include "core/catalog/Settings.h"
#include "core/catalog/XmlDocument.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::Scratch();
    Fuzz::EnsureCoreApp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QString name =
        (data[0] & 1) ? QStringLiteral("import.cal") : QStringLiteral("import.cam");
    const QString path = Fuzz::WriteScratchFile(name, Fuzz::Bytes(data + 1, size - 1));

    TCamViewer viewer;
    viewer.OptionsPath = Fuzz::Scratch() + QStringLiteral("/unused.xml");
    int rebuilds = 0, opened = 0;
    TImportCallbacks callbacks;
    callbacks.RebuildTrayMenu = [&rebuilds](bool) { ++rebuilds; };
    callbacks.OpenViewer = [&opened](TCamWebcam* webcam, bool) {
        Fuzz::Check(webcam != nullptr, "an opened viewer has its webcam");
        ++opened;
    };
    const TImportResult result = TCamExchange::ImportFile(path, viewer.Root, callbacks);
    if (result == TImportResult::Nothing || result == TImportResult::Refused)
        Fuzz::Check(viewer.Root.Categories.Count() == 0 && viewer.Root.Webcams.Count() == 0 &&
                        opened == 0,
                    "nothing imported or a refused import adds nothing");

    const QByteArray saved = viewer.SaveToBytes();
    const TXmlDocument document = ReadXml(saved);
    Fuzz::Check(document.IsOk(), "the settings after an import read without fault");
    TCamViewer again;
    again.OptionsPath = viewer.OptionsPath;
    again.LoadFromXml(*document.Root, true);
    Fuzz::Check(again.SaveToBytes() == saved, "the catalogue after an import loads back the same");
    return 0;
}
