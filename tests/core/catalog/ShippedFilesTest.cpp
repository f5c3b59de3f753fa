#include "core/catalog/ShippedFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}
} // namespace

TEST(ShippedFiles, BesideTheProgramFirstThenThePrefixDataFolder)
{
    EXPECT_EQ(InstalledDataFolder("/usr/bin"), "/usr/share/pictavo");
    EXPECT_EQ(InstalledShareFolder("/opt/pv/bin/"), "/opt/pv/share");
    EXPECT_EQ(ShippedFolders("/opt/pv/bin"), (QStringList{"/opt/pv/bin", "/opt/pv/share/pictavo"}));

    QTemporaryDir dir;
    const QString bin = dir.filePath("bin");
    const QString data = dir.filePath("share/pictavo");
    QDir().mkpath(bin);
    // Nothing shipped: no path, and the program's own folder as the folder.
    EXPECT_EQ(ShippedPath("DefaultOptions.xml", bin), QString());
    EXPECT_EQ(ShippedFolder("manual/index.html", bin), bin);

    // Installed: found under the prefix.
    Touch(data + "/DefaultOptions.xml");
    Touch(data + "/manual/index.html");
    EXPECT_EQ(ShippedPath("DefaultOptions.xml", bin), data + "/DefaultOptions.xml");
    EXPECT_EQ(ShippedPath("manual", bin), data + "/manual");
    EXPECT_EQ(ShippedFolder("manual/index.html", bin), data);

    // A copy beside the executable (the build tree) wins over the installed one.
    Touch(bin + "/DefaultOptions.xml");
    EXPECT_EQ(ShippedPath("DefaultOptions.xml", bin), bin + "/DefaultOptions.xml");
    EXPECT_EQ(ShippedFolder("manual/index.html", bin), data) << "each file on its own";
}
