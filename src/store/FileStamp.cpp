#include "store/FileStamp.h"

#include <sys/stat.h>

#include "store/FileSystem.h"

namespace tavix {

namespace {

bool statFile(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    stamp.exists = true;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

}  // namespace

bool FileStamp::sameContent(const FileStamp& other) const {
    if (exists != other.exists)
        return false;
    return !exists || (size == other.size && hash == other.hash);
}

std::uint64_t contentHash(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    // 0 is kept for "could not be read".
    return hash == 0 ? 1 : hash;
}

FileStamp stampOf(const std::string& path, std::string_view bytes) {
    FileStamp stamp;
    statFile(path, stamp);
    stamp.exists = true;
    stamp.size = bytes.size();
    stamp.hash = contentHash(bytes);
    return stamp;
}

FileStamp currentStamp(const std::string& path, const FileStamp& known) {
    FileStamp stamp;
    if (!statFile(path, stamp))
        return FileStamp{};
    if (known.exists && known.size == stamp.size && known.modifiedNs == stamp.modifiedNs) {
        stamp.hash = known.hash;
        return stamp;
    }
    std::string bytes;
    if (readWholeFile(path, bytes))
        stamp.hash = contentHash(bytes);
    return stamp;
}

}  // namespace tavix
