// The banner pages the service names: files "N.html" (N from 1) in one folder.
// Id 0 is the bar's own default banner and has no file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace navlet::server {

class TBannerSet {
  public:
    // Reads the folder's file names; a missing or empty folder gives no banners.
    static TBannerSet FromFolder(const std::string& folder);
    static TBannerSet FromIds(std::vector<int32_t> ids);

    const std::vector<int32_t>& Ids() const { return ids; } // ascending
    bool Has(int32_t id) const;
    // The page file of a banner id; empty when there is none.
    std::string PathOf(int32_t id) const;
    // The id at a rotation position; 0 when there are no banners.
    int32_t At(size_t index) const { return ids.empty() ? 0 : ids[index % ids.size()]; }

  private:
    std::string folder;
    std::vector<int32_t> ids;
};

} // namespace navlet::server
