#include "server/core/updates.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iomanip>

#include "version/module_image.h"
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

constexpr std::string_view CHECKSUM_EXTENSION = ".sha256";

// The digest a "NAME.sha256" beside the file names, in lower-case hex; empty
// when there is no such file, "?" when it says nothing readable.
std::string ExpectedDigest(const std::string& path) {
    std::ifstream in(path + std::string(CHECKSUM_EXTENSION));
    if (!in)
        return {};
    std::string digest;
    in >> std::setw(65) >> digest;
    std::transform(digest.begin(), digest.end(), digest.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    bool hex = digest.size() == 64 && std::all_of(digest.begin(), digest.end(), [](char c) {
                   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
               });
    return hex ? digest : "?";
}

std::string HexDigest(const std::vector<uint8_t>& data) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, data.data(), data.size());
    char hex[2 * sizeof digest + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

// Empty when the file may be offered; else why not.
std::string WhyBroken(const std::string& path, const std::vector<uint8_t>& data) {
    if (!ImageIsWhole(TMemoryImage(data)))
        return "not whole (cut short?)";
    std::string expected = ExpectedDigest(path);
    if (expected == "?")
        return "its .sha256 holds no SHA-256 digest";
    if (!expected.empty() && expected != HexDigest(data))
        return "does not match its .sha256";
    return {};
}

} // namespace

TUpdateSet TUpdateSet::FromFolder(const std::string& folder, const TVersionReader& reader) {
    TUpdateSet best;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return best;
    struct TCandidate {
        int32_t version;
        std::string path;
    };
    std::vector<TCandidate> candidates;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        if (!item.is_regular_file(ec) || item.path().extension() == CHECKSUM_EXTENSION)
            continue;
        std::string file = item.path().string();
        int32_t v = reader(file);
        if (v >= 0)
            candidates.push_back({v, file});
    }
    // Newest first; among equals, by name, so that a rescan picks the same.
    std::sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        return a.version != b.version ? a.version > b.version : a.path < b.path;
    });
    for (const TCandidate& candidate : candidates) {
        std::vector<uint8_t> data;
        // An empty file could not be told from an offer of nothing at offset 0.
        if (!ReadWhole(candidate.path, data))
            continue;
        std::string broken = WhyBroken(candidate.path, data);
        if (!broken.empty()) {
            best.skipped.push_back(candidate.path + ": " + broken);
            continue;
        }
        best.version = candidate.version;
        best.path = candidate.path;
        best.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(data));
        break;
    }
    return best;
}

TUpdateSet TUpdateSet::FromBytes(int32_t version, std::vector<uint8_t> bytes) {
    TUpdateSet set;
    if (bytes.empty() || bytes.size() > MAX_UPDATE_FILE)
        return set;
    set.version = version;
    set.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    return set;
}

const std::vector<uint8_t>& TUpdateSet::Bytes() const {
    static const std::vector<uint8_t> none;
    return bytes ? *bytes : none;
}

TUpdateChunkMsg TUpdateSet::ChunkOf(const TImage& image, int32_t version, int32_t offset) {
    TUpdateChunkMsg m;
    m.version = version;
    int32_t size = image ? int32_t(image->size()) : 0;
    if (offset < 0 || offset >= size) {
        m.offset = size;
        m.count = 0;
        return m;
    }
    m.offset = offset;
    m.count = std::min<int32_t>(MAX_UPDATE_CHUNK, size - offset);
    m.data = image->data() + offset;
    return m;
}

TUpdateChunkMsg TUpdateSet::NothingNewer() const {
    TUpdateChunkMsg m;
    m.version = -1;
    return m;
}

} // namespace navlet::server
