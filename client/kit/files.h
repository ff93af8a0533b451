// The files the bar writes itself: the update file and the installed module.
// Every failure comes back as a result; nothing here throws.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace navlet {

// A handle of an open file; NO_FILE stands for none and for a failed open.
inline constexpr int32_t NO_FILE = -1;

class TFiles {
  public:
    virtual ~TFiles() = default;
    virtual bool Exists(const std::string& path) = 0;
    // A new empty file (an old one of that name is emptied), open for
    // writing; other writers are denied while it is open. NO_FILE on failure.
    virtual int32_t Create(const std::string& path) = 0;
    // An existing file, open for writing without changing it; other writers
    // are denied while it is open. NO_FILE when missing or held elsewhere.
    virtual int32_t OpenForWriting(const std::string& path) = 0;
    // Writes all of `data` at `offset` from the file's start; false when the
    // seek or the write fails or writes less.
    virtual bool WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) = 0;
    // Closing NO_FILE or an unknown handle does nothing.
    virtual void Close(int32_t handle) = 0;
    // The file's length in bytes; -1 when it cannot be had.
    virtual int64_t Size(const std::string& path) = 0;
    // Fills out[0..count) from `offset`; false unless the range is wholly
    // inside the file and could be read.
    virtual bool ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) = 0;
    // Replaces a file of the new name.
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    virtual bool Delete(const std::string& path) = 0;
};

} // namespace navlet
