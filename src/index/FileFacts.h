#pragma once
// What a stat tells of a page file, enough to see that it changed: size,
// modification and change times, inode. The notebook index keeps these for
// every page; its update, a search and the folder watch compare them with
// the file as it is now.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace tavix {

struct FileFacts {
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since the epoch
    std::int64_t ctime = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileFacts&) const = default;

    // From a stat; false, leaving the facts as they were, for anything but a
    // regular file (links are followed).
    bool take(const struct stat& info);
    bool read(const std::string& path);
    // name within the folder open as folderFd: no path to resolve each time.
    bool readAt(int folderFd, const char* name);

    // Whether, read at the time checked (nanoseconds), the file had been
    // still for longer than quietNs: a change after that shows in its times
    // even on the coarsest file system clock.
    bool settledBy(std::int64_t checked, std::int64_t quietNs) const {
        return checked - std::max(mtime, ctime) > quietNs;
    }
};

}  // namespace tavix
