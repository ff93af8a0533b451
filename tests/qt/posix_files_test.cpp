// The bar's own files on Linux: writes land at their offsets, a file being
// written is denied to a second writer until it is closed, and failures come
// back as results.
#include <cstring>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "client/qt/kit/posix_files.h"

namespace navlet::qt {
namespace {

std::span<const uint8_t> Bytes(const char* text) {
    return {reinterpret_cast<const uint8_t*>(text), std::strlen(text)};
}

class TPosixFilesTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::string upd = (dir.path() + "/Navlet_Client.upd").toStdString();
    TPosixFiles files;

    std::string Read(const std::string& path) {
        const int64_t size = files.Size(path);
        std::string out(size_t(std::max<int64_t>(size, 0)), '\0');
        if (!files.ReadAt(path, 0, out.size(), reinterpret_cast<uint8_t*>(out.data())))
            return "<unreadable>";
        return out;
    }
};

TEST_F(TPosixFilesTest, ChunksLandAtTheirOffsetsAndResumeKeepsTheFile) {
    int32_t h = files.Create(upd);
    ASSERT_NE(h, NO_FILE);
    EXPECT_TRUE(files.WriteAt(h, 0, Bytes("hello ")));
    EXPECT_TRUE(files.WriteAt(h, 6, Bytes("world")));
    files.Close(h);
    EXPECT_EQ(Read(upd), "hello world");

    h = files.OpenForWriting(upd); // resuming does not empty the file
    ASSERT_NE(h, NO_FILE);
    EXPECT_EQ(files.Size(upd), 11);
    EXPECT_TRUE(files.WriteAt(h, 11, Bytes("!")));
    files.Close(h);
    EXPECT_EQ(Read(upd), "hello world!");

    h = files.Create(upd); // a new download starts empty
    files.Close(h);
    EXPECT_EQ(files.Size(upd), 0);
}

TEST_F(TPosixFilesTest, SecondWriterIsDeniedUntilTheFirstCloses) {
    const int32_t first = files.Create(upd);
    ASSERT_NE(first, NO_FILE);
    EXPECT_TRUE(files.WriteAt(first, 0, Bytes("kept")));
    EXPECT_EQ(files.OpenForWriting(upd), NO_FILE);
    EXPECT_EQ(files.Create(upd), NO_FILE);
    EXPECT_EQ(Read(upd), "kept"); // the denied Create did not empty it
    files.Close(first);
    const int32_t second = files.OpenForWriting(upd);
    EXPECT_NE(second, NO_FILE);
    files.Close(second);
}

TEST_F(TPosixFilesTest, FailuresAreResults) {
    const std::string missing = upd + ".missing";
    EXPECT_FALSE(files.Exists(missing));
    EXPECT_EQ(files.OpenForWriting(missing), NO_FILE);
    EXPECT_EQ(files.Size(missing), -1);
    EXPECT_FALSE(files.Delete(missing));
    EXPECT_FALSE(files.Rename(missing, upd));
    EXPECT_EQ(files.Create(dir.path().toStdString() + "/no/such/dir/x"), NO_FILE);
    EXPECT_FALSE(files.WriteAt(NO_FILE, 0, Bytes("x")));
    files.Close(NO_FILE);

    const int32_t h = files.Create(upd);
    files.Close(h);
    uint8_t byte = 0;
    EXPECT_FALSE(files.ReadAt(upd, 0, 1, &byte)); // beyond the end
}

TEST_F(TPosixFilesTest, RenameReplacesAnOlderModuleOfThatName) {
    const std::string module = (dir.path() + "/libNavlet_Client_01050000.so").toStdString();
    int32_t h = files.Create(module);
    files.WriteAt(h, 0, Bytes("older"));
    files.Close(h);
    h = files.Create(upd);
    files.WriteAt(h, 0, Bytes("newer"));
    files.Close(h);
    EXPECT_TRUE(files.Rename(upd, module));
    EXPECT_FALSE(files.Exists(upd));
    EXPECT_EQ(Read(module), "newer");
    EXPECT_TRUE(files.Delete(module));
    EXPECT_FALSE(files.Exists(module));
}

} // namespace
} // namespace navlet::qt
