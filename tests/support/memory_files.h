// The file system of the bar's tests: files in memory, with failures a test
// can switch on, and a record of who holds each file open.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "client/kit/files.h"

namespace navlet::testing {

class TMemoryFiles : public TFiles {
  public:
    std::map<std::string, std::vector<uint8_t>> files;
    // Failures to inject; each holds until the test clears it.
    bool failCreate = false;
    bool failOpen = false;
    bool failWrite = false;
    bool failRename = false;

    bool Exists(const std::string& path) override;
    int32_t Create(const std::string& path) override;
    int32_t OpenForWriting(const std::string& path) override;
    bool WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) override;
    void Close(int32_t handle) override;
    int64_t Size(const std::string& path) override;
    bool ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) override;
    bool Rename(const std::string& from, const std::string& to) override;
    bool Delete(const std::string& path) override;

    // Files still open, for teardown checks.
    size_t OpenCount() const { return open.size(); }
    bool IsOpen(const std::string& path) const;
    // The bytes of a file as text, "" when missing.
    std::string Text(const std::string& path) const;

  private:
    std::map<int32_t, std::string> open; // handle -> path
    int32_t nextHandle = 100;
};

} // namespace navlet::testing
