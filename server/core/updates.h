// The module files the service offers for the bar's self-update: the newest
// version found in one folder, held in memory and served chunk by chunk. A
// download holds the image it began with, so that a file replaced meanwhile
// (even by one of the same version) never mixes into it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/messages.h"

namespace navlet::server {

// Packed version of a module file, -1 when it has none.
using TVersionReader = std::function<int32_t(const std::string& path)>;
// Reads the file's "FileVersion" with the shared version reader.
int32_t ReadModuleVersion(const std::string& path);

inline constexpr size_t MAX_UPDATE_FILE = 64u << 20;

class TUpdateSet {
  public:
    using TImage = std::shared_ptr<const std::vector<uint8_t>>;

    // Scans the folder's regular files; the one with the highest version
    // wins among those that are whole modules and, where a "NAME.sha256"
    // (sha256sum's format) lies beside one, match it. What was passed over
    // and why is kept for the log.
    static TUpdateSet FromFolder(const std::string& folder, const TVersionReader& reader);
    static TUpdateSet FromBytes(int32_t version, std::vector<uint8_t> bytes);

    int32_t Version() const { return version; } // -1 when there is nothing to offer
    const std::string& Path() const { return path; }
    const std::vector<uint8_t>& Bytes() const;
    // The file's bytes, shared with the downloads that began with them.
    const TImage& Image() const { return bytes; }
    // "PATH: why" for each module file not offered for being broken.
    const std::vector<std::string>& Skipped() const { return skipped; }

    // The chunk of at most 316 bytes at `offset`; at or past the end, the end
    // mark (offset = the file's size, count 0).
    TUpdateChunkMsg ChunkAt(int32_t offset) const { return ChunkOf(bytes, version, offset); }
    // The same from an image that a download holds.
    static TUpdateChunkMsg ChunkOf(const TImage& image, int32_t version, int32_t offset);
    TUpdateChunkMsg NothingNewer() const;

  private:
    int32_t version = -1;
    std::string path;
    TImage bytes;
    std::vector<std::string> skipped;
};

} // namespace navlet::server
