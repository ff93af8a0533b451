// The registry store on Linux: values survive a new store on the same files,
// the files are registry-export text, every write replaces the file whole,
// and the platform's failures come back as its result codes.
#include <array>
#include <map>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "client/qt/kit/qt_registry.h"

namespace navlet::qt {
namespace {

class TRegistryFileTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString folder = dir.path() + "/navlet";
    TQtRegistry registry{folder};

    std::unique_ptr<TRegistryKey> Settings(TKeyOpen mode = TKeyOpen::Create) {
        return registry.OpenKey(THive::CurrentUser, "Software\\Navlet", mode);
    }
    QByteArray FileText(THive hive) {
        QFile f(registry.HiveFile(hive));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void WriteFile(THive hive, const QByteArray& text) {
        QDir().mkpath(folder);
        QFile f(registry.HiveFile(hive));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

TEST_F(TRegistryFileTest, ValuesOfEveryTypeSurviveANewStore) {
    const std::string awkward = "say \"hi\" to C:\\dir\r\nnext line \xE9\x01";
    const std::array<uint8_t, 30> blob = {0x78, 0x00, 0xFF, 0x22, 0x5C, 0x0D, 0x0A};
    {
        auto key = Settings();
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->WriteString("nck", "demo"), TRegResult::Ok);
        EXPECT_EQ(key->WriteString("pwd", awkward), TRegResult::Ok);
        EXPECT_EQ(key->WriteString("", "default"), TRegResult::Ok);
        EXPECT_EQ(key->WriteInteger("lang", int32_t(0x80001FFF)), TRegResult::Ok);
        EXPECT_EQ(key->WriteInteger("neg", -2), TRegResult::Ok);
        EXPECT_EQ(key->WriteBinary("BarSize", blob), TRegResult::Ok);
    }
    TQtRegistry again(folder);
    auto key = again.OpenKey(THive::CurrentUser, "software\\NAVLET", TKeyOpen::Existing);
    ASSERT_NE(key, nullptr);
    std::string text;
    EXPECT_EQ(key->ReadString("NCK", text), TRegResult::Ok);
    EXPECT_EQ(text, "demo");
    EXPECT_EQ(key->ReadString("pwd", text), TRegResult::Ok);
    EXPECT_EQ(text, awkward);
    EXPECT_EQ(key->ReadString("", text), TRegResult::Ok);
    EXPECT_EQ(text, "default");
    int32_t n = 0;
    EXPECT_EQ(key->ReadInteger("lang", n), TRegResult::Ok);
    EXPECT_EQ(n, int32_t(0x80001FFF));
    EXPECT_EQ(key->ReadInteger("neg", n), TRegResult::Ok);
    EXPECT_EQ(n, -2);
    std::array<uint8_t, 30> read{};
    size_t size = 0;
    EXPECT_EQ(key->ReadBinary("barsize", read, size), TRegResult::Ok);
    EXPECT_EQ(size, blob.size());
    EXPECT_EQ(read, blob);
}

TEST_F(TRegistryFileTest, FileIsTheRegistryExportText) {
    auto key = Settings();
    ASSERT_NE(key, nullptr);
    key->WriteString("nck", "a\"b\\c");
    key->WriteInteger("autologin", 1);
    const std::array<uint8_t, 8> barSize = {0x78, 0, 0, 0, 0, 0, 0, 0};
    key->WriteBinary("BarSize", barSize);
    EXPECT_EQ(FileText(THive::CurrentUser).toStdString(),
              "Windows Registry Editor Version 5.00\r\n"
              "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
              "\r\n[HKEY_CURRENT_USER\\Software\\Navlet]\r\n"
              "\"nck\"=\"a\\\"b\\\\c\"\r\n"
              "\"autologin\"=dword:00000001\r\n"
              "\"BarSize\"=hex:78,00,00,00,00,00,00,00\r\n");
}

TEST_F(TRegistryFileTest, ReadsAHandWrittenExportWithContinuedHexLines) {
    WriteFile(THive::ClassesRoot, "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
                                  "; a comment\n"
                                  "[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n"
                                  "@=\"Navlet\"\n"
                                  "\"Data\"=hex:01,02,03,\\\n"
                                  "  04,05\n"
                                  "\"Path\"=hex(2):25,00,00,00\n");
    auto key = registry.OpenKey(THive::ClassesRoot, "CLSID\\{X}", TKeyOpen::Existing);
    ASSERT_NE(key, nullptr);
    std::string text;
    EXPECT_EQ(key->ReadString("", text), TRegResult::Ok);
    EXPECT_EQ(text, "Navlet");
    std::array<uint8_t, 8> data{};
    size_t size = 0;
    EXPECT_EQ(key->ReadBinary("Data", data, size), TRegResult::Ok);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(data[4], 5);
    // A type the bar does not use is kept, and read as the wrong type.
    EXPECT_EQ(key->ReadString("Path", text), TRegResult::WrongType);
    key->WriteInteger("n", 3);
    EXPECT_NE(FileText(THive::ClassesRoot).indexOf("\"Path\"=hex(2):25,00,00,00"), -1);
}

TEST_F(TRegistryFileTest, LongBinaryValuesWrapAndReadBack) {
    std::vector<uint8_t> blob(60);
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = uint8_t(i * 7);
    Settings()->WriteBinary("big", blob);
    EXPECT_NE(FileText(THive::CurrentUser).indexOf(",\\\r\n  "), -1);
    std::vector<uint8_t> read(60);
    size_t size = 0;
    EXPECT_EQ(TQtRegistry(folder)
                  .OpenKey(THive::CurrentUser, "Software\\Navlet", TKeyOpen::Existing)
                  ->ReadBinary("big", read, size),
              TRegResult::Ok);
    EXPECT_EQ(read, blob);
}

TEST_F(TRegistryFileTest, PlatformFailuresComeBackAsTheirCodes) {
    EXPECT_EQ(Settings(TKeyOpen::Existing), nullptr) << "no key yet, none may be made";
    auto key = Settings();
    ASSERT_NE(key, nullptr);
    std::string text;
    int32_t n = 0;
    EXPECT_EQ(key->ReadString("nck", text), TRegResult::Missing);
    key->WriteString("nck", "demo");
    EXPECT_EQ(key->ReadInteger("nck", n), TRegResult::WrongType);
    const std::array<uint8_t, 9> nine{};
    key->WriteBinary("BarSize", nine);
    std::array<uint8_t, 8> eight{};
    size_t size = 0;
    EXPECT_EQ(key->ReadBinary("BarSize", eight, size), TRegResult::TooLong);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(key->ReadBinary("nck", eight, size), TRegResult::WrongType);
}

TEST_F(TRegistryFileTest, AFileThatIsNotAnExportIsNeverOverwritten) {
    const QByteArray foreign = "[HKEY_CURRENT_USER\\Software\\Navlet]\n\"nck\"=\"x\"\n";
    WriteFile(THive::CurrentUser, foreign);
    EXPECT_EQ(Settings(), nullptr);
    EXPECT_EQ(FileText(THive::CurrentUser), foreign);

    WriteFile(THive::CurrentUser, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n"
                                  "\"v\"=dword:12\n");
    EXPECT_EQ(registry.OpenKey(THive::CurrentUser, "A", TKeyOpen::Existing), nullptr)
        << "a short dword is a broken file";
    // A section of the other hive does not belong in this file.
    WriteFile(THive::CurrentUser, "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A]\n");
    EXPECT_EQ(registry.OpenKey(THive::CurrentUser, "A", TKeyOpen::Create), nullptr);
}

TEST_F(TRegistryFileTest, AnOpenKeyFailsWhenItsFileBreaksLater) {
    auto key = Settings();
    ASSERT_NE(key, nullptr);
    WriteFile(THive::CurrentUser, "garbage");
    std::string text;
    EXPECT_EQ(key->ReadString("nck", text), TRegResult::Failed);
    EXPECT_EQ(key->WriteString("nck", "demo"), TRegResult::Failed);
    EXPECT_EQ(FileText(THive::CurrentUser), "garbage");
}

TEST_F(TRegistryFileTest, AStoreThatCannotBeWrittenFails) {
    // The folder's place is taken by a file: nothing can be written there.
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(Settings(), nullptr);
    EXPECT_EQ(registry.OpenKey(THive::CurrentUser, "", TKeyOpen::Existing)->WriteString("x", "y"),
              TRegResult::Failed);
}

TEST_F(TRegistryFileTest, EveryWriteReplacesTheFileWhole) {
    auto key = Settings();
    ASSERT_NE(key, nullptr);
    struct stat before {};
    ASSERT_EQ(stat(registry.HiveFile(THive::CurrentUser).toLocal8Bit().constData(), &before), 0);
    key->WriteString("nck", "demo");
    struct stat after {};
    ASSERT_EQ(stat(registry.HiveFile(THive::CurrentUser).toLocal8Bit().constData(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "written in place, not renamed over";
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1) << "a temporary file was left";
}

TEST_F(TRegistryFileTest, TwoStoresOnOneFileKeepEachOthersValues) {
    TQtRegistry other(folder);
    auto mine = Settings();
    auto theirs = other.OpenKey(THive::CurrentUser, "Software\\Navlet", TKeyOpen::Existing);
    ASSERT_NE(theirs, nullptr);
    mine->WriteString("nck", "a");
    theirs->WriteInteger("lang", 5);
    mine->WriteString("pwd", "b");
    int32_t lang = 0;
    EXPECT_EQ(mine->ReadInteger("lang", lang), TRegResult::Ok);
    EXPECT_EQ(lang, 5);
    std::string nick;
    EXPECT_EQ(theirs->ReadString("nck", nick), TRegResult::Ok);
    EXPECT_EQ(nick, "a");
}

TEST_F(TRegistryFileTest, DeletingAKeyTreeSparesKeysThatOnlyShareAPrefix) {
    for (const char* path : {"CLSID\\{A}\\InprocServer32", "CLSID\\{A}2", "CLSID\\{B}"})
        registry.OpenKey(THive::ClassesRoot, path, TKeyOpen::Create)->WriteString("", "x");
    EXPECT_EQ(registry.DeleteKeyTree(THive::ClassesRoot, "clsid\\{a}"), TRegResult::Ok);
    EXPECT_EQ(registry.OpenKey(THive::ClassesRoot, "CLSID\\{A}", TKeyOpen::Existing), nullptr);
    EXPECT_EQ(
        registry.OpenKey(THive::ClassesRoot, "CLSID\\{A}\\InprocServer32", TKeyOpen::Existing),
        nullptr);
    EXPECT_NE(registry.OpenKey(THive::ClassesRoot, "CLSID\\{A}2", TKeyOpen::Existing), nullptr);
    EXPECT_NE(registry.OpenKey(THive::ClassesRoot, "CLSID\\{B}", TKeyOpen::Existing), nullptr);
    EXPECT_EQ(registry.DeleteKeyTree(THive::ClassesRoot, "CLSID\\{gone}"), TRegResult::Ok);
}

// A secret service in memory that answers, or stands for one that does not.
class TFakeSecrets : public TSecretStore {
  public:
    bool answers = true;
    std::map<std::string, std::string> kept; // "folder|name"

    TResult Read(const std::string& folder, const std::string& name, std::string& out) override {
        if (!answers)
            return TResult::Unavailable;
        auto it = kept.find(folder + "|" + name);
        if (it == kept.end())
            return TResult::Missing;
        out = it->second;
        return TResult::Ok;
    }
    TResult Write(const std::string& folder, const std::string& name,
                  const std::string& value) override {
        if (!answers)
            return TResult::Unavailable;
        kept[folder + "|" + name] = value;
        return TResult::Ok;
    }
    TResult Remove(const std::string& folder, const std::string& name) override {
        if (!answers)
            return TResult::Unavailable;
        kept.erase(folder + "|" + name);
        return TResult::Ok;
    }
};

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST_F(TRegistryFileTest, TheFilesAreTheUsersAloneAlsoThoseAnEarlierVersionLeftOpen) {
    Settings()->WriteString("nck", "demo");
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(registry.HiveFile(THive::CurrentUser)), 0600u);
    // As an earlier version left them: readable to everybody.
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(::chmod(registry.HiveFile(THive::CurrentUser).toLocal8Bit().constData(), 0644), 0);
    std::string text;
    EXPECT_EQ(Settings()->ReadString("nck", text), TRegResult::Ok);
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(registry.HiveFile(THive::CurrentUser)), 0600u);
    // A rewrite keeps it so.
    Settings()->WriteString("nck", "demo2");
    EXPECT_EQ(ModeOf(registry.HiveFile(THive::CurrentUser)), 0600u);
}

TEST_F(TRegistryFileTest, ThePasswordLivesInTheSecretServiceWhileOneAnswers) {
    TFakeSecrets secrets;
    TQtRegistry withSecrets(folder, &secrets);
    auto key = withSecrets.OpenKey(THive::CurrentUser, "Software\\Navlet", TKeyOpen::Create);
    ASSERT_NE(key, nullptr);
    const std::string scrambled = "\x81\xFE pw";
    EXPECT_EQ(key->WriteString("pwd", scrambled), TRegResult::Ok);
    EXPECT_EQ(key->WriteString("nck", "demo"), TRegResult::Ok);
    EXPECT_EQ(FileText(THive::CurrentUser).indexOf("pwd"), -1) << "no password in the file";
    EXPECT_NE(FileText(THive::CurrentUser).indexOf("\"nck\""), -1) << "the rest stays in the file";
    ASSERT_EQ(secrets.kept.size(), 1u);
    EXPECT_EQ(secrets.kept.begin()->first, folder.toStdString() + "|software\\navlet\\pwd");
    std::string text;
    auto again = withSecrets.OpenKey(THive::CurrentUser, "SOFTWARE\\navlet", TKeyOpen::Existing);
    EXPECT_EQ(again->ReadString("PWD", text), TRegResult::Ok);
    EXPECT_EQ(text, scrambled);
    // Another key's "pwd" is no password of the bar's.
    auto other = withSecrets.OpenKey(THive::CurrentUser, "Software\\Other", TKeyOpen::Create);
    other->WriteString("pwd", "x");
    EXPECT_NE(FileText(THive::CurrentUser).indexOf("\"pwd\"=\"x\""), -1);
    EXPECT_EQ(secrets.kept.size(), 1u);

    // No service answering: the file keeps it, as before.
    secrets.answers = false;
    EXPECT_EQ(key->WriteString("pwd", "plain"), TRegResult::Ok);
    EXPECT_NE(FileText(THive::CurrentUser).indexOf("\"pwd\"=\"plain\""), -1);
    EXPECT_EQ(key->ReadString("pwd", text), TRegResult::Ok);
    EXPECT_EQ(text, "plain");
}

TEST_F(TRegistryFileTest, AnEarlierVersionsPasswordMovesToTheSecretServiceOnItsFirstRead) {
    Settings()->WriteString("pwd", "old scrambled");
    Settings()->WriteString("nck", "demo");
    TFakeSecrets secrets;
    TQtRegistry withSecrets(folder, &secrets);
    auto key = withSecrets.OpenKey(THive::CurrentUser, "Software\\Navlet", TKeyOpen::Existing);
    ASSERT_NE(key, nullptr);
    std::string text;
    EXPECT_EQ(key->ReadString("pwd", text), TRegResult::Ok);
    EXPECT_EQ(text, "old scrambled");
    EXPECT_EQ(FileText(THive::CurrentUser).indexOf("pwd"), -1);
    EXPECT_EQ(secrets.kept.begin()->second, "old scrambled");
    EXPECT_EQ(key->ReadString("nck", text), TRegResult::Ok);
    // Read again: from the service now.
    EXPECT_EQ(key->ReadString("pwd", text), TRegResult::Ok);
    EXPECT_EQ(text, "old scrambled");
    // None anywhere: missing, as before.
    secrets.kept.clear();
    EXPECT_EQ(key->ReadString("pwd", text), TRegResult::Missing);
}

} // namespace
} // namespace navlet::qt
