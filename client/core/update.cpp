// The self-update: the module file written chunk by chunk into the update
// file beside the running module, checked, renamed to a versioned module and
// registered as the control's in-process server.
#include "client/core/update.h"

#include <cstdio>
#include <limits>

#include "client/core/navlet.h"
#include "client/core/registration.h"
#include "protocol/ascii.h"
#include "version/module_image.h"
#include "version/version_block.h"
#include "version/version_info.h"

namespace navlet {

namespace {

constexpr uint32_t NEXT_CHUNK_MS = 10;
constexpr uint32_t FILE_OPENED_MS = 100;
constexpr uint32_t RETRY_OPEN_MS = 300000; // five minutes
constexpr const char* DOWNLOADED_TEXT = "A new navlet version has been downloaded";
// What a protected bar can promise: the bar that installs is the next one
// outside Protected Mode that signs in, from its own download.
constexpr const char* WAITING_TEXT =
    "A new navlet version is available: it is installed the next time the bar signs in "
    "outside Protected Mode";

// The update file as the version reader sees it, read through the kit.
class TKitFileImage final : public TImageSource {
  public:
    TKitFileImage(TFiles& files, const std::string& path, uint64_t size)
        : files_(files), path_(path), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, size_t count, uint8_t* out) const override {
        return files_.ReadAt(path_, offset, count, out);
    }

  private:
    TFiles& files_;
    const std::string& path_;
    uint64_t size_;
};

std::string VersionText(int32_t version) {
    const auto v = uint32_t(version);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", v >> 24, v >> 16 & 0xFF, v >> 8 & 0xFF,
                  v & 0xFF);
    return text;
}

std::string DirectoryPart(const std::string& file) {
    const size_t cut = file.find_last_of("\\/:");
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

} // namespace

std::string VersionedModuleName(int32_t version, TModuleNaming naming) {
    char name[48];
    const char* pattern = naming == TModuleNaming::WindowsControl ? "Navlet_Client_%08X.ocx"
                                                                  : "libNavlet_Client_%08X.so";
    std::snprintf(name, sizeof name, pattern, uint32_t(version));
    return name;
}

bool IsUpdateLeftoverName(std::string_view name, TModuleNaming naming) {
    if (EqualsFolded(name, UPDATE_FILE_NAME))
        return true;
    // The versioned name with its eight digits cut out: prefix and suffix.
    const std::string pattern = VersionedModuleName(0, naming);
    const size_t digits = pattern.find("00000000");
    if (name.size() != pattern.size() ||
        !EqualsFolded(name.substr(0, digits), std::string_view(pattern).substr(0, digits)) ||
        !EqualsFolded(name.substr(digits + 8), std::string_view(pattern).substr(digits + 8)))
        return false;
    for (size_t i = digits; i < digits + 8; ++i)
        if (HexDigitValue(name[i]) < 0)
            return false;
    return true;
}

void TNavlet::WriteUpdateChunk(const TUpdateChunkMsg& chunk) {
    // A count beyond the packet's bytes or a negative offset is a broken
    // server: nothing of it is written, and the download stops until the
    // next login asks again.
    if (!chunk.IsWellFormed())
        return;
    if (kit.module.HostUpdatesModule()) {
        TellHostOfOffer(chunk.version);
        return;
    }
    bool abandoned = false;
    if (updateVersion < chunk.version && updateHandle != NO_FILE) {
        kit.files.Close(updateHandle);
        kit.files.Delete(updateFile);
        updateHandle = NO_FILE;
        updateVersion = chunk.version;
        abandoned = true;
    }
    if (updateHandle != NO_FILE) {
        WriteChunkData(chunk);
        return;
    }
    OpenUpdateFile(chunk.version, abandoned);
}

void TNavlet::WriteChunkData(const TUpdateChunkMsg& chunk) {
    // A failed write leaves the timer off: the next login resumes from the
    // file's end.
    if (updateBytes > std::numeric_limits<int32_t>::max() - chunk.count)
        return;
    const std::span<const uint8_t> data(chunk.data, size_t(chunk.count));
    if (!kit.files.WriteAt(updateHandle, chunk.offset, data))
        return;
    updateBytes += chunk.count;
    upd_timer.SetInterval(NEXT_CHUNK_MS);
    upd_timer.SetEnabled(true);
}

void TNavlet::OpenUpdateFile(int32_t offered, bool abandoned) {
    // The chunk that brought us here is not written: the next request asks
    // for the data from the file's end. After an install updateFile names the
    // new module; a later download must not reopen and overwrite it.
    updateFile = UpdateFolder() + UPDATE_FILE_NAME;
    SyncSettings(0, 0, 0, 0, 0, -1, 0);
    if (kit.files.Exists(updateFile)) {
        updateHandle = kit.files.OpenForWriting(updateFile);
    } else {
        // A finished download waits for the browser to load it; but an
        // unfinished older one that was just dropped is replaced at once.
        if (updateVersion > moduleVersion && !abandoned)
            return;
        updateHandle = kit.files.Create(updateFile);
        if (updateHandle != NO_FILE) {
            updateVersion = offered;
            SyncSettings(0, 0, 0, 0, 0, 1, 0);
        }
    }
    const int64_t size = updateHandle == NO_FILE ? -1 : kit.files.Size(updateFile);
    if (size < 0 || size > std::numeric_limits<int32_t>::max()) {
        kit.files.Close(updateHandle);
        updateHandle = NO_FILE;
        upd_timer.SetInterval(RETRY_OPEN_MS);
        upd_timer.SetEnabled(true);
        return;
    }
    updateBytes = int32_t(size);
    upd_timer.SetInterval(FILE_OPENED_MS);
    upd_timer.SetEnabled(true);
}

void TNavlet::InstallUpdate(int32_t wholeSize) {
    kit.files.Close(updateHandle);
    updateHandle = NO_FILE;
    if (!ModuleFileIsWhole(updateFile, wholeSize, updateVersion)) {
        DropBrokenUpdate();
        return;
    }
    if (kit.module.ProtectedMode()) {
        ParkProtectedUpdate();
        return;
    }
    const std::string installed =
        DirectoryPart(moduleFile) + VersionedModuleName(updateVersion, THIS_PLATFORM_NAMING);
    // Rename and registry failures are not reported: the message is shown
    // regardless, as the browser may still find the module.
    kit.files.Rename(updateFile, installed);
    updateFile = installed;
    RepointInprocServer(installed);
    kit.host.ShowMessage(DOWNLOADED_TEXT);
}

void TNavlet::ParkProtectedUpdate() {
    // Only a whole module of the offered version is announced; its versioned
    // name and "update" in the low key mark it as finished, so that it is not
    // fetched again at low integrity.
    const std::string waiting =
        UpdateFolder() + VersionedModuleName(updateVersion, THIS_PLATFORM_NAMING);
    if (!kit.files.Rename(updateFile, waiting)) {
        DropBrokenUpdate();
        return;
    }
    updateFile = waiting;
    PostMsg(mkStatus, 0, "%s", WAITING_TEXT);
}

void TNavlet::DiscardProtectedDownload() {
    // Every low-integrity process may write the low folder and the low key,
    // so what waits there need not be what the server sent: a bar that can
    // install never installs it. It is deleted instead; the server offers
    // the version again at sign-in, and the download beside the module
    // installs it as any update.
    const std::string folder = kit.module.WritableFolder();
    if (kit.module.ProtectedMode() || folder.empty())
        return;
    auto low = kit.registry.OpenKey(THive::CurrentUserLow, SETTINGS_KEY, TKeyOpen::Existing);
    int32_t waitingVersion = 0;
    if (!low || low->ReadInteger("update", waitingVersion) != TRegResult::Ok)
        return;
    const std::string waiting = folder + VersionedModuleName(waitingVersion, THIS_PLATFORM_NAMING);
    if (kit.files.Exists(waiting))
        kit.files.Delete(waiting);
}

void TNavlet::RepointInprocServer(const std::string& modulePath) {
    // A per-user install registers the class in the user's own classes,
    // which the browser reads before the machine's: the new module goes
    // where the current registration is, and a per-user one needs no
    // administrator.
    const std::string inproc = ClassKey() + "\\InprocServer32";
    auto key = kit.registry.OpenKey(
        THive::CurrentUser, std::string(USER_CLASSES_KEY) + "\\" + inproc, TKeyOpen::Existing);
    if (!key)
        key = kit.registry.OpenKey(THive::ClassesRoot, inproc, TKeyOpen::Existing);
    if (key)
        key->WriteString("", modulePath);
}

std::string TNavlet::UpdateFolder() const {
    if (kit.module.ProtectedMode()) {
        const std::string folder = kit.module.WritableFolder();
        if (!folder.empty())
            return folder;
    }
    return DirectoryPart(moduleFile);
}

bool TNavlet::ModuleFileIsWhole(const std::string& path, int64_t wholeSize, int32_t version) {
    if (wholeSize < 0 || kit.files.Size(path) != wholeSize)
        return false;
    const TKitFileImage image(kit.files, path, uint64_t(wholeSize));
    const std::vector<uint8_t> block = FindVersionBlock(image);
    if (block.empty())
        return false;
    return PackVersion(VersionBlockString(block, "FileVersion")) == version;
}

void TNavlet::TellHostOfOffer(int32_t version) {
    // Nothing is downloaded, and the timer stays off until the next login
    // asks again, as while a finished download waits for the browser: a
    // host that cannot take the module is not asked every few minutes. The
    // offer is told once, not at every login.
    if (version == toldOffer)
        return;
    toldOffer = version;
    kit.host.NewerModuleOffered(VersionText(version));
}

void TNavlet::DropBrokenUpdate() {
    // Forget the download altogether, so that a later offer starts a new
    // file instead of taking "update" for a finished download that waits.
    kit.files.Delete(updateFile);
    updateBytes = 0;
    updateVersion = moduleVersion;
    SyncSettings(0, 0, 0, 0, 0, 1, 0);
}

} // namespace navlet
