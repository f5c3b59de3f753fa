#include "core/catalog/LanguageFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(LanguageFile, RelativeAndWindowsValuesAreFoundByFileNameInTheFolders)
{
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    const auto touch = [](const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    touch(second.filePath("French.xml"));
    touch(second.filePath("German.xml"));
    touch(first.filePath("German.xml"));
    QDir(first.path()).mkdir("Dutch.xml"); // a folder is no language file
    touch(second.filePath("Dutch.xml"));
    const QStringList folders{first.path(), second.path()};

    struct Row
    {
        QString Value;
        QString Expected;
    };
    const Row rows[] = {
        {"C:\\Program Files\\X\\Languages\\French.xml", second.filePath("French.xml")},
        {"french.XML", second.filePath("French.xml")},
        {"German.xml", first.filePath("German.xml")},
        {"D:\\Dutch.xml", second.filePath("Dutch.xml")},
        {"C:\\Languages\\Klingon.xml", QString()},
        {"..", QString()},
        {"/usr/share/anything/Spanish.xml", "/usr/share/anything/Spanish.xml"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ResolveLanguageFile(row.Value, folders), row.Expected) << row.Value.toStdString();
}
