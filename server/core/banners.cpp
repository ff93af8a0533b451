#include "server/core/banners.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace navlet::server {

TBannerSet TBannerSet::FromFolder(const std::string& folder) {
    TBannerSet set;
    set.folder = folder;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return set;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        if (!item.is_regular_file(ec) || item.path().extension() != ".html")
            continue;
        std::string stem = item.path().stem().string();
        int32_t id = 0;
        auto [end, err] = std::from_chars(stem.data(), stem.data() + stem.size(), id);
        if (err == std::errc() && end == stem.data() + stem.size() && id > 0 &&
            stem == std::to_string(id))
            set.ids.push_back(id);
    }
    std::sort(set.ids.begin(), set.ids.end());
    return set;
}

TBannerSet TBannerSet::FromIds(std::vector<int32_t> ids) {
    TBannerSet set;
    set.ids = std::move(ids);
    std::sort(set.ids.begin(), set.ids.end());
    return set;
}

bool TBannerSet::Has(int32_t id) const {
    return std::binary_search(ids.begin(), ids.end(), id);
}

std::string TBannerSet::PathOf(int32_t id) const {
    if (!Has(id) || folder.empty())
        return {};
    return (std::filesystem::path(folder) / (std::to_string(id) + ".html")).string();
}

} // namespace navlet::server
