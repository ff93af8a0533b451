#include "version/version_info.h"

#include "version/module_image.h"
#include "version/version_block.h"

#include <algorithm>
#include <fstream>
#include <optional>

namespace navlet {

namespace {

class TFileImage final : public TImageSource {
  public:
    explicit TFileImage(const std::string& path) : file_(path, std::ios::binary) {
        if (!file_)
            return;
        file_.seekg(0, std::ios::end);
        std::streamoff end = file_.tellg();
        size_ = end > 0 ? uint64_t(end) : 0;
    }

    uint64_t Size() const override { return size_; }

    bool ReadAt(uint64_t offset, size_t count, uint8_t* out) const override {
        if (offset > size_ || size_ - offset < count)
            return false;
        file_.clear();
        file_.seekg(std::streamoff(offset));
        file_.read(reinterpret_cast<char*>(out), std::streamsize(count));
        return file_.gcount() == std::streamsize(count);
    }

  private:
    mutable std::ifstream file_;
    uint64_t size_ = 0;
};

// One "%d" of the scanf family: blanks, an optional sign, at least one digit.
// Values beyond any version part saturate, which the range check rejects.
std::optional<long long> ScanInt(std::string_view text, size_t& at) {
    auto more = [&] { return at < text.size() && text[at] != '\0'; };
    while (more() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
        ++at;
    bool negative = false;
    if (more() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    if (!more() || text[at] < '0' || text[at] > '9')
        return std::nullopt;
    long long value = 0;
    while (more() && text[at] >= '0' && text[at] <= '9') {
        value = std::min(value * 10 + (text[at] - '0'), 1LL << 40);
        ++at;
    }
    return negative ? -value : value;
}

} // namespace

std::string GetVersionString(const std::string& path, const std::string& name) {
    TFileImage image(path);
    std::vector<uint8_t> block = FindVersionBlock(image);
    if (block.empty())
        return {};
    return VersionBlockString(block, name);
}

// Read like sscanf(text, "%d.%d.%d.%d"): four numbers with points between
// them make the version; whatever follows the fourth is ignored.
int32_t PackVersion(std::string_view text) {
    size_t at = 0;
    uint32_t packed = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.')
                return -1;
            ++at;
        }
        std::optional<long long> value = ScanInt(text, at);
        if (!value || *value < 0 || *value > 255)
            return -1;
        packed = packed << 8 | uint32_t(*value);
    }
    return int32_t(packed);
}

} // namespace navlet
