// Finding the version-information block inside a module file: the RT_VERSION
// resource of a Windows module (PE32 or PE32+), or the ".navlet_version"
// section of a Linux module (ELF, 32 or 64 bit, little-endian). Every offset
// and length comes from the file and is checked before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace navlet {

// Random access to the bytes of a module file.
class TImageSource {
  public:
    virtual ~TImageSource() = default;
    virtual uint64_t Size() const = 0;
    // Fills out[0..count) from the given offset; false when that range is not
    // wholly inside the file or cannot be read.
    virtual bool ReadAt(uint64_t offset, size_t count, uint8_t* out) const = 0;
};

// A module image already in memory; the bytes must outlive the source.
class TMemoryImage final : public TImageSource {
  public:
    explicit TMemoryImage(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, size_t count, uint8_t* out) const override;

  private:
    std::span<const uint8_t> bytes_;
};

inline constexpr std::string_view VERSION_SECTION_NAME = ".navlet_version";

// Whether the file holds all that its headers promise: the section table and
// every section's data (and, for a PE, its signature) lie inside the file. A
// module cut short by a copy that did not finish fails this; false also for
// files that are neither a PE nor an ELF module.
bool ImageIsWhole(const TImageSource& image);

// The raw version-information block; empty when the file is neither a PE nor
// an ELF module, carries no block, or is truncated or malformed.
std::vector<uint8_t> FindVersionBlock(const TImageSource& image);

} // namespace navlet
