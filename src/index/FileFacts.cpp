#include "index/FileFacts.h"

#include <fcntl.h>

namespace tavix {

namespace {

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

bool FileFacts::take(const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return false;
    size = static_cast<std::uint64_t>(info.st_size);
    mtime = nanoseconds(info.st_mtim);
    ctime = nanoseconds(info.st_ctim);
    inode = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

bool FileFacts::read(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && take(info);
}

bool FileFacts::readAt(int folderFd, const char* name) {
    struct stat info {};
    return folderFd >= 0 && ::fstatat(folderFd, name, &info, 0) == 0 && take(info);
}

}  // namespace tavix
