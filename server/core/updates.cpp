#include "server/core/updates.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "version/version_info.h"

namespace navlet::server {

int32_t ReadModuleVersion(const std::string& path) {
    return PackVersion(GetVersionString(path, "FileVersion"));
}

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size <= 0 || size_t(size) > MAX_UPDATE_FILE)
        return false;
    out.resize(size_t(size));
    in.seekg(0);
    return bool(in.read(reinterpret_cast<char*>(out.data()), size));
}

} // namespace

TUpdateSet TUpdateSet::FromFolder(const std::string& folder, const TVersionReader& reader) {
    TUpdateSet best;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return best;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        if (!item.is_regular_file(ec))
            continue;
        std::string file = item.path().string();
        int32_t v = reader(file);
        if (v <= best.version)
            continue;
        std::vector<uint8_t> data;
        // An empty file could not be told from an offer of nothing at offset 0.
        if (!ReadWhole(file, data))
            continue;
        best.version = v;
        best.path = file;
        best.bytes = std::move(data);
    }
    return best;
}

TUpdateSet TUpdateSet::FromBytes(int32_t version, std::vector<uint8_t> bytes) {
    TUpdateSet set;
    if (bytes.empty() || bytes.size() > MAX_UPDATE_FILE)
        return set;
    set.version = version;
    set.bytes = std::move(bytes);
    return set;
}

TUpdateChunkMsg TUpdateSet::ChunkAt(int32_t offset) const {
    TUpdateChunkMsg m;
    m.version = version;
    int32_t size = int32_t(bytes.size());
    if (offset < 0 || offset >= size) {
        m.offset = size;
        m.count = 0;
        return m;
    }
    m.offset = offset;
    m.count = std::min<int32_t>(MAX_UPDATE_CHUNK, size - offset);
    m.data = bytes.data() + offset;
    return m;
}

TUpdateChunkMsg TUpdateSet::NothingNewer() const {
    TUpdateChunkMsg m;
    m.version = -1;
    return m;
}

} // namespace navlet::server
