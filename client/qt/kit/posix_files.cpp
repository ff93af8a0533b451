#include "client/qt/kit/posix_files.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace navlet::qt {

namespace {

constexpr mode_t FILE_MODE = 0644;

// Takes the writer's lock, or closes the descriptor when another holds it.
int32_t LockedOrNone(int fd) {
    if (fd < 0)
        return NO_FILE;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return NO_FILE;
    }
    return fd;
}

} // namespace

bool TPosixFiles::Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

int32_t TPosixFiles::Create(const std::string& path) {
    // Opened before emptying, so that a file another bar writes stays whole.
    const int32_t fd =
        LockedOrNone(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, FILE_MODE));
    if (fd != NO_FILE && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return NO_FILE;
    }
    return fd;
}

int32_t TPosixFiles::OpenForWriting(const std::string& path) {
    return LockedOrNone(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
}

bool TPosixFiles::WriteAt(int32_t handle, int64_t offset, std::span<const uint8_t> data) {
    if (handle < 0 || offset < 0)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(handle, data.data() + done, data.size() - done, off_t(offset) + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

void TPosixFiles::Close(int32_t handle) {
    if (handle >= 0)
        ::close(handle); // the lock goes with the descriptor
}

int64_t TPosixFiles::Size(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return int64_t(info.st_size);
}

bool TPosixFiles::ReadAt(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, out + done, count - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
    return done == count;
}

bool TPosixFiles::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool TPosixFiles::Delete(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

} // namespace navlet::qt
