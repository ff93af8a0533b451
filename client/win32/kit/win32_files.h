// The update's files on Windows: one writer at a time (others may read), an
// install by rename that replaces the old file.
#pragma once

#include <map>

#include <windows.h>

#include "client/kit/files.h"

namespace navlet::win32 {

class TWin32Files : public TFiles {
  public:
    ~TWin32Files() override;

    bool Exists(const std::string& path) override;
    int32_t Create(const std::string& path) override;
    int32_t OpenForWriting(const std::string& path) override;
    bool WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) override;
    void Close(int32_t handle) override;
    int64_t Size(const std::string& path) override;
    bool ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) override;
    bool Rename(const std::string& from, const std::string& to) override;
    bool Delete(const std::string& path) override;

  private:
    int32_t Open(const std::string& path, DWORD disposition);

    std::map<int32_t, HANDLE> open;
    int32_t nextHandle = 1;
};

} // namespace navlet::win32
