#pragma once
// What a file was when it was read: enough to tell, before writing over it,
// whether anything else has changed it since (another window of Tavix, a sync
// tool, a text editor).
#include <cstdint>
#include <string>
#include <string_view>

namespace tavix {

struct FileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
    std::uint64_t hash = 0;       // of the whole content

    // Same content: both missing, or both present with equal size and hash.
    // The time is left out so that a touch or a copy of the same bytes is
    // not taken for a change.
    bool sameContent(const FileStamp& other) const;
};

// A 64-bit FNV-1a hash; not for security, only to tell two contents apart.
std::uint64_t contentHash(std::string_view bytes);

// The stamp of bytes just read from or written to path (size and hash from
// the bytes, time from the file).
FileStamp stampOf(const std::string& path, std::string_view bytes);

// The stamp of what is at path now. When size and time still equal known's,
// the file is not read again and known's hash is taken; otherwise the file is
// read and hashed. A file that cannot be read counts as present with a hash
// of 0, which differs from every stamp taken of content.
FileStamp currentStamp(const std::string& path, const FileStamp& known = {});

}  // namespace tavix
