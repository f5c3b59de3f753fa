// The export's file writer: the file is written on the worker, the outcome handed to the UI thread.
#include "ThreadTestUtil.h"
#include "core/io/FileWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

TEST(FileWriter, WritesWholeOrReportsWhyAndAClearedOwnerHearsNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto dispatcher = std::make_shared<TDispatcher>();
    const auto write = [&](const QString& path, bool clear) {
        std::optional<TFileWritten> outcome;
        std::thread::id ranOn;
        auto writer = TFileWriter::Create(path, "<Webcam/>\r\n", dispatcher);
        writer->OnDone = [&](TFileWritten& result) {
            outcome = result;
            ranOn = std::this_thread::get_id();
        };
        if (clear)
            writer->ClearEvents();
        EXPECT_TRUE(writer->Start());
        writer.reset();
        EXPECT_TRUE(PumpUntil([] { return RunningWorkers() == 0; }));
        EXPECT_TRUE(clear || ranOn == std::this_thread::get_id());
        return outcome;
    };

    const std::optional<TFileWritten> written = write(dir.filePath("a.cam"), false);
    ASSERT_TRUE(written.has_value());
    EXPECT_TRUE(written->Written);
    QFile file(dir.filePath("a.cam"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "<Webcam/>\r\n");

    // Below a plain file nothing can be created: the system's reason comes back.
    const std::optional<TFileWritten> failed = write(dir.filePath("a.cam/b.cam"), false);
    ASSERT_TRUE(failed.has_value());
    EXPECT_FALSE(failed->Written);
    EXPECT_FALSE(failed->Error.isEmpty());

    EXPECT_FALSE(write(dir.filePath("c.cam"), true).has_value());
    EXPECT_TRUE(QFile::exists(dir.filePath("c.cam")));
}
