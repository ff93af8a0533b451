#include "server/core/updates.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "version/module_image.h"
#include "version/version_info.h"

namespace navlet::server {

int32_t ReadModuleVersion(const std::string& path) {
    return PackVersion(GetVersionString(path, "FileVersion"));
}

namespace {

enum class TRead { Done, Missing, Refused };

// Reads a regular file of at most `limit` bytes. Opened without waiting and
// checked once open, so that a FIFO or a device of the same name (put there
// by mistake, or swapped in after the folder was listed) never holds the
// scan.
TRead ReadRegular(const std::string& path, size_t limit, std::vector<uint8_t>& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? TRead::Missing : TRead::Refused;
    struct stat info {};
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
                   uintmax_t(info.st_size) <= limit;
    out.clear();
    if (regular)
        out.resize(size_t(info.st_size));
    size_t got = 0;
    while (regular && got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    out.resize(got);
    return regular ? TRead::Done : TRead::Refused;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>& out) {
    return ReadRegular(path, MAX_UPDATE_FILE, out) == TRead::Done && !out.empty();
}

constexpr std::string_view CHECKSUM_EXTENSION = ".sha256";

// The digest a "NAME.sha256" beside the file names, in lower-case hex; empty
// when there is no such file, "?" when it says nothing readable.
std::string ExpectedDigest(const std::string& path) {
    constexpr size_t MAX_CHECKSUM_FILE = 4096; // a digest, blanks and a name
    std::vector<uint8_t> text;
    TRead read = ReadRegular(path + std::string(CHECKSUM_EXTENSION), MAX_CHECKSUM_FILE, text);
    if (read == TRead::Missing)
        return {};
    if (read == TRead::Refused)
        return "?";
    std::istringstream in(std::string(text.begin(), text.end()));
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
