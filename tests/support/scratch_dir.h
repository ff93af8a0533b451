// A folder of a test's own under the system's temporary folder: empty when
// the test starts, removed when it ends. The process id in its name keeps
// test programs that run at the same time apart.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace navlet::testing {

class TScratchDir {
  public:
    explicit TScratchDir(const std::string& name)
        : path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        std::filesystem::create_directories(path, ignored);
    }
    ~TScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::filesystem::path path;
};

} // namespace navlet::testing
