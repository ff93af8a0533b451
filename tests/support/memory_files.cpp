#include "tests/support/memory_files.h"

#include <algorithm>
#include <cstring>

namespace navlet::testing {

bool TMemoryFiles::Exists(const std::string& path) {
    return files.count(path) != 0;
}

bool TMemoryFiles::IsOpen(const std::string& path) const {
    return std::any_of(open.begin(), open.end(), [&](const auto& e) { return e.second == path; });
}

int32_t TMemoryFiles::Create(const std::string& path) {
    if (failCreate || IsOpen(path))
        return NO_FILE;
    files[path].clear();
    open[nextHandle] = path;
    return nextHandle++;
}

int32_t TMemoryFiles::OpenForWriting(const std::string& path) {
    if (failOpen || !Exists(path) || IsOpen(path))
        return NO_FILE;
    open[nextHandle] = path;
    return nextHandle++;
}

bool TMemoryFiles::WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) {
    auto it = open.find(handle);
    if (failWrite || it == open.end() || offset < 0)
        return false;
    std::vector<uint8_t>& bytes = files[it->second];
    const size_t end = size_t(offset) + data.size();
    if (bytes.size() < end)
        bytes.resize(end); // a seek past the end leaves zeros, as on disk
    std::copy(data.begin(), data.end(), bytes.begin() + offset);
    return true;
}

void TMemoryFiles::Close(int32_t handle) {
    open.erase(handle);
}

int64_t TMemoryFiles::Size(const std::string& path) {
    auto it = files.find(path);
    return it == files.end() ? -1 : int64_t(it->second.size());
}

bool TMemoryFiles::ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
    auto it = files.find(path);
    if (it == files.end() || offset > it->second.size() || it->second.size() - offset < count)
        return false;
    if (count != 0)
        std::memcpy(out, it->second.data() + offset, count);
    return true;
}

bool TMemoryFiles::Rename(const std::string& from, const std::string& to) {
    if (failRename || !Exists(from) || IsOpen(from) || IsOpen(to))
        return false;
    std::vector<uint8_t> bytes = std::move(files[from]);
    files.erase(from);
    files[to] = std::move(bytes);
    return true;
}

bool TMemoryFiles::Delete(const std::string& path) {
    if (IsOpen(path))
        return false; // as on Windows: an open file cannot be deleted
    return files.erase(path) != 0;
}

std::string TMemoryFiles::Text(const std::string& path) const {
    auto it = files.find(path);
    return it == files.end() ? std::string() : std::string(it->second.begin(), it->second.end());
}

} // namespace navlet::testing
