#include "client/win32/kit/win32_files.h"

namespace navlet::win32 {

namespace {

// Reads and writes go in pieces no larger than a DWORD counts.
constexpr size_t MAX_CHUNK = 1 << 20;

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = DWORD(offset & 0xFFFFFFFF);
    where.OffsetHigh = DWORD(offset >> 32);
    return where;
}

} // namespace

TWin32Files::~TWin32Files() {
    for (auto& [id, file] : open)
        CloseHandle(file);
}

bool TWin32Files::Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int32_t TWin32Files::Open(const std::string& path, DWORD disposition) {
    // Others may read the file meanwhile, but not write it, and not rename or
    // delete it under the writer.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return NO_FILE;
    const int32_t id = nextHandle++;
    open[id] = file;
    return id;
}

int32_t TWin32Files::Create(const std::string& path) {
    // CREATE_ALWAYS empties an old file only after the sharing check, so a
    // file another bar writes stays whole.
    return Open(path, CREATE_ALWAYS);
}

int32_t TWin32Files::OpenForWriting(const std::string& path) {
    return Open(path, OPEN_EXISTING);
}

bool TWin32Files::WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) {
    auto it = open.find(handle);
    if (it == open.end() || offset < 0)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = DWORD(std::min(MAX_CHUNK, data.size() - done));
        OVERLAPPED where = At(uint64_t(offset) + done);
        DWORD written = 0;
        if (!WriteFile(it->second, data.data() + done, chunk, &written, &where) || written == 0)
            return false;
        done += written;
    }
    return true;
}

void TWin32Files::Close(int32_t handle) {
    auto it = open.find(handle);
    if (it == open.end())
        return;
    CloseHandle(it->second);
    open.erase(it);
}

int64_t TWin32Files::Size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return int64_t(uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
}

bool TWin32Files::ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
    // The update reads the file it is still writing: share everything.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    while (done < count) {
        const DWORD chunk = DWORD(std::min(MAX_CHUNK, count - done));
        OVERLAPPED where = At(offset + done);
        DWORD read = 0;
        if (!ReadFile(file, out + done, chunk, &read, &where) || read == 0)
            break;
        done += read;
    }
    CloseHandle(file);
    return done == count;
}

bool TWin32Files::Rename(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool TWin32Files::Delete(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

} // namespace navlet::win32
