#include "server/folder_watch.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace navlet::server {

std::string FolderSignature(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return {};
    std::vector<std::string> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code itemError;
        uintmax_t size = it->is_regular_file(itemError) ? it->file_size(itemError) : 0;
        auto written = it->last_write_time(itemError).time_since_epoch().count();
        entries.push_back(it->path().filename().string() + '\t' + std::to_string(size) + '\t' +
                          std::to_string(written));
    }
    std::sort(entries.begin(), entries.end());
    std::string signature;
    for (const std::string& entry : entries)
        signature += entry + '\n';
    return signature;
}

} // namespace navlet::server
