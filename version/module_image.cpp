#include "version/module_image.h"

#include <array>
#include <cstring>
#include <optional>

namespace navlet {

namespace {

// A version block's own length field is 16 bits wide; anything claiming much
// more than that is not a version resource.
constexpr uint32_t MAX_BLOCK_SIZE = 0x10000;

constexpr uint16_t RT_VERSION = 16;
constexpr uint32_t RESOURCE_SUBDIRECTORY = 0x80000000u;
constexpr int RESOURCE_DIRECTORY_INDEX = 2;
constexpr int SECURITY_DIRECTORY_INDEX = 4;

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Le64(const uint8_t* p) {
    return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32;
}

std::optional<uint16_t> Read16(const TImageSource& image, uint64_t offset) {
    uint8_t b[2];
    if (!image.ReadAt(offset, sizeof b, b))
        return std::nullopt;
    return Le16(b);
}

std::optional<uint32_t> Read32(const TImageSource& image, uint64_t offset) {
    uint8_t b[4];
    if (!image.ReadAt(offset, sizeof b, b))
        return std::nullopt;
    return Le32(b);
}

std::vector<uint8_t> ReadBlock(const TImageSource& image, uint64_t offset, uint64_t size) {
    if (size == 0 || size > MAX_BLOCK_SIZE)
        return {};
    std::vector<uint8_t> block(static_cast<size_t>(size));
    if (!image.ReadAt(offset, block.size(), block.data()))
        return {};
    return block;
}

// ---- PE ----

struct TPeSection {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class TPeImage {
  public:
    explicit TPeImage(const TImageSource& image) : image_(image) {}

    std::vector<uint8_t> VersionBlock() {
        if (!ReadHeaders())
            return {};
        std::optional<uint32_t> dataEntry = VersionDataEntry();
        if (!dataEntry)
            return {};
        uint8_t entry[8];
        if (!ReadRva(*dataEntry, sizeof entry, entry))
            return {};
        uint32_t dataRva = Le32(entry);
        uint32_t dataSize = Le32(entry + 4);
        std::optional<uint64_t> offset = RvaToOffset(dataRva, dataSize);
        if (!offset)
            return {};
        return ReadBlock(image_, *offset, dataSize);
    }

    // Section data past the end would be read as zeros by the loader, or
    // refused; a signature cut short no longer checks.
    bool Whole() {
        if (!ReadHeaders())
            return false;
        uint64_t size = image_.Size();
        for (const TPeSection& s : sections_)
            if (s.rawSize > 0 && uint64_t(s.rawOffset) + s.rawSize > size)
                return false;
        if (uint64_t(signatureOffset_) + signatureSize_ > size)
            return false;
        if (symbolTable_ == 0)
            return true;
        // Unstripped modules end with the COFF symbols and their strings,
        // whose table starts with its own size.
        uint64_t strings = uint64_t(symbolTable_) + 18ull * symbolCount_;
        std::optional<uint32_t> stringsSize = Read32(image_, strings);
        return stringsSize && *stringsSize >= 4 && strings + *stringsSize <= size;
    }

  private:
    bool ReadHeaders();
    std::optional<uint32_t> VersionDataEntry();
    std::optional<uint32_t> FirstEntry(uint32_t directory, std::optional<uint16_t> id);
    std::optional<uint64_t> RvaToOffset(uint32_t rva, uint32_t size) const;
    bool ReadRva(uint32_t rva, uint32_t size, uint8_t* out) const {
        std::optional<uint64_t> offset = RvaToOffset(rva, size);
        return offset && image_.ReadAt(*offset, size, out);
    }

    const TImageSource& image_;
    std::vector<TPeSection> sections_;
    uint32_t resourceRva_ = 0;
    uint32_t resourceSize_ = 0;
    uint32_t signatureOffset_ = 0; // a file offset, unlike the other directories
    uint32_t signatureSize_ = 0;
    uint32_t symbolTable_ = 0; // a file offset; 0 in a stripped module
    uint32_t symbolCount_ = 0;
};

bool TPeImage::ReadHeaders() {
    uint8_t dos[64];
    if (!image_.ReadAt(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    uint64_t peOffset = Le32(dos + 0x3C);
    uint8_t coff[24];
    if (!image_.ReadAt(peOffset, sizeof coff, coff) || std::memcmp(coff, "PE\0\0", 4) != 0)
        return false;
    uint16_t sectionCount = Le16(coff + 6);
    symbolTable_ = Le32(coff + 12);
    symbolCount_ = Le32(coff + 16);
    uint16_t optionalSize = Le16(coff + 20);
    uint64_t optionalOffset = peOffset + sizeof coff;

    std::optional<uint16_t> magic = Read16(image_, optionalOffset);
    if (!magic)
        return false;
    uint32_t directoryCountAt;
    if (*magic == 0x10B)
        directoryCountAt = 92;
    else if (*magic == 0x20B)
        directoryCountAt = 108;
    else
        return false;
    uint32_t resourceEntryAt = directoryCountAt + 4 + 8 * RESOURCE_DIRECTORY_INDEX;
    if (resourceEntryAt + 8u > optionalSize)
        return false;
    std::optional<uint32_t> directoryCount = Read32(image_, optionalOffset + directoryCountAt);
    if (!directoryCount || *directoryCount <= uint32_t(RESOURCE_DIRECTORY_INDEX))
        return false;
    uint8_t resource[8];
    if (!image_.ReadAt(optionalOffset + resourceEntryAt, sizeof resource, resource))
        return false;
    resourceRva_ = Le32(resource);
    resourceSize_ = Le32(resource + 4);
    if (resourceRva_ == 0 || resourceSize_ == 0)
        return false;
    uint32_t signatureEntryAt = directoryCountAt + 4 + 8 * SECURITY_DIRECTORY_INDEX;
    uint8_t signature[8];
    if (*directoryCount > uint32_t(SECURITY_DIRECTORY_INDEX) &&
        signatureEntryAt + 8u <= optionalSize &&
        image_.ReadAt(optionalOffset + signatureEntryAt, sizeof signature, signature)) {
        signatureOffset_ = Le32(signature);
        signatureSize_ = Le32(signature + 4);
    }

    uint64_t sectionTable = optionalOffset + optionalSize;
    sections_.reserve(sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint8_t header[40];
        if (!image_.ReadAt(sectionTable + 40u * i, sizeof header, header))
            return false;
        sections_.push_back(
            {Le32(header + 12), Le32(header + 8), Le32(header + 16), Le32(header + 20)});
    }
    return true;
}

std::optional<uint64_t> TPeImage::RvaToOffset(uint32_t rva, uint32_t size) const {
    for (const TPeSection& s : sections_) {
        if (rva < s.virtualAddress)
            continue;
        uint64_t into = uint64_t(rva) - s.virtualAddress;
        // Bytes past the raw data are zero-fill in memory but not in the file.
        if (into + size > s.rawSize)
            continue;
        return uint64_t(s.rawOffset) + into;
    }
    return std::nullopt;
}

// The resource tree is three levels deep: type, name, language. Offsets in it
// are relative to the start of the resource directory.
std::optional<uint32_t> TPeImage::VersionDataEntry() {
    std::optional<uint32_t> names = FirstEntry(0, RT_VERSION);
    if (!names || !(*names & RESOURCE_SUBDIRECTORY))
        return std::nullopt;
    std::optional<uint32_t> languages = FirstEntry(*names & ~RESOURCE_SUBDIRECTORY, std::nullopt);
    if (!languages || !(*languages & RESOURCE_SUBDIRECTORY))
        return std::nullopt;
    std::optional<uint32_t> data = FirstEntry(*languages & ~RESOURCE_SUBDIRECTORY, std::nullopt);
    if (!data || (*data & RESOURCE_SUBDIRECTORY) || *data > resourceSize_)
        return std::nullopt;
    return resourceRva_ + *data;
}

// The target of the entry with the given numeric id, or of the first entry
// when no id is asked for.
std::optional<uint32_t> TPeImage::FirstEntry(uint32_t directory, std::optional<uint16_t> id) {
    if (directory > resourceSize_ || resourceSize_ - directory < 16)
        return std::nullopt;
    uint8_t header[16];
    if (!ReadRva(resourceRva_ + directory, sizeof header, header))
        return std::nullopt;
    uint32_t named = Le16(header + 12);
    uint32_t total = named + Le16(header + 14);
    uint32_t first = id ? named : 0;
    for (uint32_t i = first; i < total; ++i) {
        uint64_t at = uint64_t(directory) + 16 + 8ull * i;
        if (at + 8 > resourceSize_)
            return std::nullopt;
        uint8_t entry[8];
        if (!ReadRva(resourceRva_ + uint32_t(at), sizeof entry, entry))
            return std::nullopt;
        if (!id || Le32(entry) == *id)
            return Le32(entry + 4);
    }
    return std::nullopt;
}

// ---- ELF ----

// Where the 32- and 64-bit headers keep the fields we need.
struct TElfLayout {
    uint32_t sectionTable; // e_shoff
    uint32_t entrySizeAt;  // e_shentsize, then e_shnum, e_shstrndx
    uint32_t minEntrySize;
    uint32_t nameAt, typeAt, offsetAt, sizeAt;
    bool wide;
};

constexpr TElfLayout ELF32 = {0x20, 0x2E, 40, 0, 4, 16, 20, false};
constexpr TElfLayout ELF64 = {0x28, 0x3A, 64, 0, 4, 24, 32, true};
constexpr uint32_t SHT_NOBITS = 8;

struct TElfSection {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
};

std::optional<TElfSection> ReadElfSection(const TImageSource& image, const TElfLayout& layout,
                                          uint64_t at) {
    uint8_t h[64];
    if (!image.ReadAt(at, layout.minEntrySize, h))
        return std::nullopt;
    TElfSection s;
    s.name = Le32(h + layout.nameAt);
    s.type = Le32(h + layout.typeAt);
    s.offset = layout.wide ? Le64(h + layout.offsetAt) : Le32(h + layout.offsetAt);
    s.size = layout.wide ? Le64(h + layout.sizeAt) : Le32(h + layout.sizeAt);
    return s;
}

bool SectionNameIs(const TImageSource& image, const TElfSection& names, uint32_t name,
                   std::string_view wanted) {
    // The name and its terminating zero must lie inside the name table.
    if (names.type == SHT_NOBITS || name >= names.size || names.size - name < wanted.size() + 1)
        return false;
    std::array<uint8_t, VERSION_SECTION_NAME.size() + 1> buf{};
    if (wanted.size() + 1 > buf.size() ||
        !image.ReadAt(names.offset + name, wanted.size() + 1, buf.data()))
        return false;
    return std::memcmp(buf.data(), wanted.data(), wanted.size()) == 0 && buf[wanted.size()] == 0;
}

std::vector<uint8_t> ElfVersionBlock(const TImageSource& image) {
    uint8_t ident[64];
    if (!image.ReadAt(0, 6, ident) || std::memcmp(ident,
                                                  "\x7F"
                                                  "ELF",
                                                  4) != 0)
        return {};
    if (ident[5] != 1) // little-endian only
        return {};
    const TElfLayout* layout = ident[4] == 1 ? &ELF32 : ident[4] == 2 ? &ELF64 : nullptr;
    if (!layout || !image.ReadAt(0, layout->entrySizeAt + 6, ident))
        return {};
    uint64_t table =
        layout->wide ? Le64(ident + layout->sectionTable) : Le32(ident + layout->sectionTable);
    uint16_t entrySize = Le16(ident + layout->entrySizeAt);
    uint16_t count = Le16(ident + layout->entrySizeAt + 2);
    uint16_t namesIndex = Le16(ident + layout->entrySizeAt + 4);
    if (entrySize < layout->minEntrySize || namesIndex >= count)
        return {};

    std::optional<TElfSection> names =
        ReadElfSection(image, *layout, table + uint64_t(entrySize) * namesIndex);
    if (!names)
        return {};
    for (uint16_t i = 0; i < count; ++i) {
        std::optional<TElfSection> s =
            ReadElfSection(image, *layout, table + uint64_t(entrySize) * i);
        if (!s)
            return {};
        if (SectionNameIs(image, *names, s->name, VERSION_SECTION_NAME))
            return s->type == SHT_NOBITS ? std::vector<uint8_t>{}
                                         : ReadBlock(image, s->offset, s->size);
    }
    return {};
}

// Every section with bytes in the file, and the section table itself, must
// lie inside the file.
bool ElfWhole(const TImageSource& image) {
    uint8_t ident[64];
    if (!image.ReadAt(0, 6, ident) ||
        std::memcmp(ident,
                    "\x7F"
                    "ELF",
                    4) != 0 ||
        ident[5] != 1)
        return false;
    const TElfLayout* layout = ident[4] == 1 ? &ELF32 : ident[4] == 2 ? &ELF64 : nullptr;
    if (!layout || !image.ReadAt(0, layout->entrySizeAt + 6, ident))
        return false;
    uint64_t table =
        layout->wide ? Le64(ident + layout->sectionTable) : Le32(ident + layout->sectionTable);
    uint16_t entrySize = Le16(ident + layout->entrySizeAt);
    uint16_t count = Le16(ident + layout->entrySizeAt + 2);
    if (entrySize < layout->minEntrySize || count == 0)
        return false;
    uint64_t size = image.Size();
    if (table > size || (size - table) / entrySize < count)
        return false;
    for (uint16_t i = 0; i < count; ++i) {
        std::optional<TElfSection> s =
            ReadElfSection(image, *layout, table + uint64_t(entrySize) * i);
        if (!s)
            return false;
        if (s->type != SHT_NOBITS && (s->offset > size || size - s->offset < s->size))
            return false;
    }
    return true;
}

} // namespace

bool ImageIsWhole(const TImageSource& image) {
    uint8_t magic[2];
    if (!image.ReadAt(0, sizeof magic, magic))
        return false;
    if (magic[0] == 'M' && magic[1] == 'Z')
        return TPeImage(image).Whole();
    return ElfWhole(image);
}

bool TMemoryImage::ReadAt(uint64_t offset, size_t count, uint8_t* out) const {
    if (offset > bytes_.size() || bytes_.size() - offset < count)
        return false;
    if (count > 0)
        std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

std::vector<uint8_t> FindVersionBlock(const TImageSource& image) {
    uint8_t magic[2];
    if (!image.ReadAt(0, sizeof magic, magic))
        return {};
    if (magic[0] == 'M' && magic[1] == 'Z')
        return TPeImage(image).VersionBlock();
    return ElfVersionBlock(image);
}

} // namespace navlet
