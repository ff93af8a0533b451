// The bar's own files on Linux, through POSIX calls. Handles are the file
// descriptors; "denying other writers" is an exclusive lock on the file,
// which other bars of the same user respect.
#pragma once

#include "client/kit/files.h"

namespace navlet::qt {

class TPosixFiles : public TFiles {
  public:
    bool Exists(const std::string& path) override;
    int32_t Create(const std::string& path) override;
    int32_t OpenForWriting(const std::string& path) override;
    bool WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) override;
    void Close(int32_t handle) override;
    int64_t Size(const std::string& path) override;
    bool ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) override;
    bool Rename(const std::string& from, const std::string& to) override;
    bool Delete(const std::string& path) override;
};

} // namespace navlet::qt
