#include "index/RenameJournal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/FileStamp.h"
#include "store/FileSystem.h"

namespace tavix {

namespace {

constexpr std::string_view kMagic = "tavix rename journal 1\n";
// Writers at once: each file write waits for its own sync, and syncs that
// run together share the disk's flushes.
constexpr unsigned kWriters = 8;

void putField(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out += ' ';
    out += std::to_string(value.size());
    out += '\n';
    out += value;
    out += '\n';
}

class FieldReader {
public:
    explicit FieldReader(std::string_view text) : text_(text) {}
    bool field(std::string_view key, std::string& value) {
        if (text_.compare(pos_, key.size(), key) != 0 || pos_ + key.size() >= text_.size() ||
            text_[pos_ + key.size()] != ' ')
            return false;
        std::size_t at = pos_ + key.size() + 1;
        std::size_t size = 0;
        std::size_t digits = 0;
        for (; at < text_.size() && text_[at] >= '0' && text_[at] <= '9' && digits < 12;
             ++at, ++digits)
            size = size * 10 + static_cast<std::size_t>(text_[at] - '0');
        if (digits == 0 || at >= text_.size() || text_[at] != '\n' ||
            size > text_.size() - at - 1 || at + 1 + size >= text_.size() ||
            text_[at + 1 + size] != '\n')
            return false;
        value.assign(text_.substr(at + 1, size));
        pos_ = at + 2 + size;
        return true;
    }
    bool atEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string hex(std::uint64_t value) {
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
    return digits;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string pagePath(const std::string& folder, const std::string& page) {
    return folder + "/" + page + ".xhtml";
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Gives the page file at from the name to, never replacing a file there.
int moveNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a second name, then the first goes.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

enum class Step { Done, Written, Conflict, Failed };

struct StepResult {
    Step step = Step::Done;
    std::string why;
};

// Puts `want` into the page's file when it holds `had`.
StepResult writeEntry(const std::string& path, const std::string& had, const std::string& want) {
    std::string current;
    if (!exists(path))
        return {Step::Conflict, "its file is gone"};
    // Unreadable now: nothing this rename wrote (it read every page it
    // writes), so it is left to whoever made it so.
    if (Status read = readWholeFile(path, current); !read)
        return {Step::Conflict, read.message()};
    if (current == want)
        return {Step::Done, {}};
    if (current != had)
        return {Step::Conflict, "it was changed meanwhile"};
    if (Status written = writeFileAtomically(path, want); !written)
        return {Step::Failed, written.message()};
    return {Step::Written, {}};
}

template <typename Work>
std::vector<StepResult> inParallel(std::size_t count, Work work) {
    std::vector<StepResult> results(count);
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            results[i] = work(i);
    };
    const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(kWriters, count));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& thread : pool)
        thread.join();
    return results;
}

}  // namespace

std::string renameJournalPath(const std::string& folder) {
    return folder + "/.tavix-rename-journal";
}

std::string encodeJournal(const RenameJournal& journal) {
    std::size_t size = 256;
    for (const auto& entry : journal.entries)
        size += entry.page.size() + entry.before.size() + entry.after.size() + 64;
    std::string out;
    out.reserve(size);
    out += kMagic;
    putField(out, "direction",
             journal.direction == RenameJournal::Direction::Forward ? "forward" : "back");
    putField(out, "from", journal.from);
    putField(out, "to", journal.to);
    putField(out, "moved", hex(journal.movedHash));
    putField(out, "entries", std::to_string(journal.entries.size()));
    for (const auto& entry : journal.entries) {
        putField(out, "page", entry.page);
        putField(out, "before", entry.before);
        putField(out, "after", entry.after);
    }
    putField(out, "end", hex(contentHash(out)));
    return out;
}

Status decodeJournal(std::string_view bytes, RenameJournal& journal) {
    journal = RenameJournal{};
    const Status bad = Status::failure("not a complete rename journal");
    if (bytes.substr(0, kMagic.size()) != kMagic)
        return bad;
    const std::size_t endAt = bytes.rfind("end 16\n");
    if (endAt == std::string_view::npos || bytes.size() != endAt + 7 + 16 + 1 ||
        bytes.substr(endAt + 7, 16) != hex(contentHash(bytes.substr(0, endAt))))
        return bad;
    FieldReader reader(bytes.substr(kMagic.size()));
    std::string direction;
    std::string moved;
    std::string count;
    if (!reader.field("direction", direction) || !reader.field("from", journal.from) ||
        !reader.field("to", journal.to) || !reader.field("moved", moved) ||
        !reader.field("entries", count))
        return bad;
    if (direction != "forward" && direction != "back")
        return bad;
    journal.direction =
        direction == "forward" ? RenameJournal::Direction::Forward : RenameJournal::Direction::Back;
    journal.movedHash = std::strtoull(moved.c_str(), nullptr, 16);
    const std::size_t entries = std::strtoull(count.c_str(), nullptr, 10);
    for (std::size_t i = 0; i < entries; ++i) {
        RenameJournal::Entry entry;
        if (!reader.field("page", entry.page) || !reader.field("before", entry.before) ||
            !reader.field("after", entry.after))
            return bad;
        journal.entries.push_back(std::move(entry));
    }
    std::string end;
    if (!reader.field("end", end) || !reader.atEnd())
        return bad;
    return Status::success();
}

JournalApplied applyJournal(const std::string& folder, const RenameJournal& journal) {
    JournalApplied applied;
    const std::string fromPath = pagePath(folder, journal.from);
    const std::string toPath = pagePath(folder, journal.to);
    const bool forward = journal.direction == RenameJournal::Direction::Forward;

    auto isMovedPage = [&](const std::string& path) {
        std::string bytes;
        if (!readWholeFile(path, bytes))
            return false;
        if (contentHash(bytes) == journal.movedHash)
            return true;
        for (const auto& entry : journal.entries)
            if (entry.page == journal.to && bytes == entry.after)
                return true;
        return false;
    };

    auto moveFile = [&]() -> Status {
        const std::string& src = forward ? fromPath : toPath;
        const std::string& dst = forward ? toPath : fromPath;
        const bool haveSrc = exists(src);
        const bool haveDst = exists(dst);
        if (!haveSrc && haveDst)
            return Status::success();  // moved already
        if (haveSrc && !haveDst) {
            if (const int error = moveNoReplace(src, dst))
                return Status::failure("Cannot rename \"" + src + "\" to \"" + dst +
                                       "\": " + std::strerror(error));
            syncFolder(folder);
            return Status::success();
        }
        if (haveSrc && haveDst) {
            // A move through a second name cut short leaves both names on
            // one file; anything else is another page in the way.
            struct stat a {};
            struct stat b {};
            if (::lstat(src.c_str(), &a) == 0 && ::lstat(dst.c_str(), &b) == 0 &&
                a.st_dev == b.st_dev && a.st_ino == b.st_ino && ::unlink(src.c_str()) == 0) {
                syncFolder(folder);
                return Status::success();
            }
            // Moved already, and a new page of the old name made since.
            if (forward && isMovedPage(dst))
                return Status::success();
            return Status::failure("Cannot rename \"" + src + "\": \"" + dst + "\" exists");
        }
        return Status::failure("The page file \"" + src + "\" is gone");
    };

    auto writeAll = [&] {
        const std::vector<StepResult> results =
            inParallel(journal.entries.size(), [&](std::size_t i) {
                const RenameJournal::Entry& entry = journal.entries[i];
                const std::string path = pagePath(folder, entry.page);
                // Undoing a rename that never moved the page file: the renamed
                // page's text is still the old one, under the old name.
                if (!forward && entry.page == journal.to && !exists(path) && exists(fromPath))
                    return StepResult{};
                return forward ? writeEntry(path, entry.before, entry.after)
                               : writeEntry(path, entry.after, entry.before);
            });
        for (std::size_t i = 0; i < results.size(); ++i) {
            const std::string& page = journal.entries[i].page;
            switch (results[i].step) {
                case Step::Done: break;
                case Step::Written: applied.written.push_back(page); break;
                case Step::Conflict:
                    applied.conflicts.push_back(page + ": " + results[i].why);
                    break;
                case Step::Failed:
                    if (applied.status)
                        applied.status = Status::failure(results[i].why);
                    break;
            }
        }
    };

    if (forward) {
        // The name first: should it fail, no page has changed yet.
        applied.status = moveFile();
        if (applied.status)
            writeAll();
    } else {
        writeAll();
        if (applied.status)
            applied.status = moveFile();
    }
    return applied;
}

Status removeJournal(const std::string& folder) {
    const std::string path = renameJournalPath(folder);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return Status::failure("Cannot remove \"" + path + "\": " + std::strerror(errno));
    syncFolder(folder);
    return Status::success();
}

}  // namespace tavix
