#include "index/PageRename.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/LinkWords.h"
#include "index/LinkRewriter.h"
#include "index/RenameJournal.h"
#include "store/FileStamp.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

std::string pagePath(const std::string& folder, const std::u16string& name) {
    return folder + "/" + toUtf8(name) + ".xhtml";
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// writeFileAtomically refuses these; found before the journal promises them.
bool isWriteProtected(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

std::string shown(const std::u16string& name) {
    std::string text = toUtf8(name);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

// The pages touched by a journal, to be indexed again once it is applied.
void reindex(NotebookIndex* index, const RenameJournal& journal) {
    if (!index || !index->isOpen())
        return;
    std::vector<NotebookIndex::SavedPage> pages;
    for (const std::string* name : {&journal.from, &journal.to})
        pages.push_back({fromUtf8(*name), std::nullopt, nullptr});
    for (const auto& entry : journal.entries)
        pages.push_back({fromUtf8(entry.page), std::nullopt, nullptr});
    // The index is a cache: should this fail, the next update catches up.
    index->pagesSaved(pages);
}

}  // namespace

JournalRecovery recoverJournalLocked(const std::string& folder, NotebookIndex* index) {
    JournalRecovery recovery;
    const std::string path = renameJournalPath(folder);
    if (!exists(path))
        return recovery;
    recovery.found = true;
    std::string bytes;
    if (Status read = readWholeFile(path, bytes); !read) {
        recovery.status =
            Status::failure("An unfinished rename cannot be completed: " + read.message());
        return recovery;
    }
    RenameJournal journal;
    if (!decodeJournal(bytes, journal)) {
        // Nothing in it can be trusted; it is kept for whoever can read it.
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
        const std::string kept = path + ".damaged-" + stamp;
        ::rename(path.c_str(), kept.c_str());
        recovery.status =
            Status::failure("The journal of an unfinished rename is damaged and was kept as \"" +
                            kept + "\"; the notebook may be partly renamed");
        return recovery;
    }
    JournalApplied applied = applyJournal(folder, journal);
    if (!applied.status && journal.direction == RenameJournal::Direction::Forward) {
        // Cannot be finished (a page file in the way, a disk that refuses
        // the writes): undone instead, and the journal says so first.
        journal.direction = RenameJournal::Direction::Back;
        if (Status turned = writeFileAtomically(path, encodeJournal(journal)); !turned) {
            recovery.status = Status::failure("An unfinished rename can be neither completed (" +
                                              applied.status.message() + ") nor undone (" +
                                              turned.message() + ")");
            return recovery;
        }
        applied = applyJournal(folder, journal);
    }
    recovery.undone = journal.direction == RenameJournal::Direction::Back;
    recovery.conflicts = applied.conflicts;
    reindex(index, journal);
    if (!applied.status) {
        recovery.status = Status::failure("An unfinished rename cannot be " +
                                          std::string(recovery.undone ? "undone" : "completed") +
                                          ": " + applied.status.message());
        return recovery;
    }
    recovery.status = removeJournal(folder);
    return recovery;
}

namespace {

struct Prepared {
    std::optional<RenameJournal::Entry> entry;
    std::optional<PageText> shown;
    std::string why;  // left alone, and why; empty when fine
};

}  // namespace

NotebookLock::NotebookLock(const std::string& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        status_ = Status::failure("Cannot open the notebook folder \"" + folder +
                                  "\": " + std::strerror(errno));
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            status_ = Status::failure("Cannot lock the notebook folder \"" + folder +
                                      "\": " + std::strerror(errno));
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

NotebookLock::~NotebookLock() {
    if (fd_ >= 0)
        ::close(fd_);  // drops the lock
}

Status checkNewPageName(const std::u16string& name) {
    if (!Notebook::isSafePageName(name))
        return Status::failure("\"" + shown(name) + "\" cannot be the name of a page file");
    WordTokenizer word(name);
    if (word.AtEnd() || word.Start() != 0 || word.Length() != name.size() || !IsLinkWord(name))
        return Status::failure(
            "\"" + shown(name) +
            "\" is not a link word: one word in mixed capitals, like ShoppingList");
    return Status::success();
}

JournalRecovery recoverJournal(const std::string& folder, NotebookIndex* index) {
    // The usual case costs one look, without waiting for anyone's lock.
    if (!exists(renameJournalPath(folder)))
        return {};
    NotebookLock lock(folder);
    if (!lock.status()) {
        JournalRecovery failed;
        failed.found = true;
        failed.status = lock.status();
        return failed;
    }
    return recoverJournalLocked(folder, index);
}

RenameOutcome renamePage(const std::string& folder, NotebookIndex& index,
                         const std::u16string& oldName, const std::u16string& newName) {
    RenameOutcome outcome;
    auto fail = [&](std::string why) {
        outcome.status = Status::failure(std::move(why));
        return outcome;
    };
    if (Status usable = checkNewPageName(newName); !usable)
        return fail(usable.message());
    if (!Notebook::isSafePageName(oldName))
        return fail("unknown page: \"" + shown(oldName) + "\"");
    if (oldName == newName)
        return fail("the page is called \"" + shown(newName) + "\" already");

    NotebookLock lock(folder);
    if (!lock.status())
        return fail(lock.status().message());
    if (JournalRecovery earlier = recoverJournalLocked(folder, &index); !earlier.status)
        return fail(earlier.status.message());
    const std::string oldPath = pagePath(folder, oldName);
    if (!exists(oldPath))
        return fail("unknown page: \"" + shown(oldName) + "\"");
    if (exists(pagePath(folder, newName)))
        return fail("page already exists: \"" + shown(newName) + "\"");

    // The pages that link to the old name, as the files say now.
    if (IndexUpdate updated = index.update(); !updated.status)
        return fail(updated.status.message());
    std::vector<std::u16string> pages;
    if (IsLinkWord(oldName)) {
        if (Status found = index.backlinksOf(oldName, pages); !found)
            return fail(found.message());
    }
    const std::size_t linking = pages.size();
    // Pages not read to their end may hold the name where the index could
    // not see it: looked at too, and named when they do.
    std::vector<std::u16string> unread;
    if (Status found = index.pagesNotRead(unread); !found)
        return fail(found.message());
    const std::unordered_set<std::u16string> seen(pages.begin(), pages.end());
    for (const std::u16string& page : unread)
        if (seen.count(page) == 0)
            pages.push_back(page);
    if (std::find(pages.begin(), pages.end(), oldName) == pages.end())
        pages.push_back(oldName);  // its title may follow its name
    const std::string oldBytes = toUtf8(oldName);

    RenameJournal journal;
    journal.from = toUtf8(oldName);
    journal.to = toUtf8(newName);
    std::string moved;
    if (readWholeFile(oldPath, moved))
        journal.movedHash = contentHash(moved);

    // Read, rewrite and check every page; two threads, each its own parser.
    std::vector<Prepared> prepared(pages.size());
    auto prepare = [&](std::size_t first, std::size_t step) {
        PageTextReader reader;
        for (std::size_t i = first; i < pages.size(); i += step) {
            const std::u16string& page = pages[i];
            const bool self = page == oldName;
            const std::string path = pagePath(folder, page);
            std::string bytes;
            if (Status read = readWholeFile(path, bytes); !read) {
                if (!self)
                    prepared[i].why = read.message() + "; it may link to the page";
                continue;
            }
            if (!IsLinkWord(oldName) ||
                (i >= linking && !self && bytes.find(oldBytes) == std::string::npos))
                continue;
            LinkRewrite rewrite;
            if (Status rewritten = rewriteLinkWord(bytes, oldName, newName, self, reader, rewrite);
                !rewritten) {
                // Only a page that holds the name is worth naming.
                if (i < linking || bytes.find(oldBytes) != std::string::npos)
                    prepared[i].why = rewritten.message();
                continue;
            }
            if (rewrite.text == bytes)
                continue;
            if (isWriteProtected(path)) {
                prepared[i].why = "the file is write-protected";
                continue;
            }
            prepared[i].entry = RenameJournal::Entry{toUtf8(self ? newName : page),
                                                     std::move(bytes), std::move(rewrite.text)};
            prepared[i].shown = std::move(rewrite.shown);
        }
    };
    if (pages.size() > 64) {
        std::thread helper(prepare, 1, 2);
        prepare(0, 2);
        helper.join();
    } else {
        prepare(0, 1);
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (prepared[i].entry)
            journal.entries.push_back(*prepared[i].entry);
        else if (!prepared[i].why.empty())
            outcome.leftAlone.push_back(
                {pages[i] == oldName ? newName : pages[i], prepared[i].why});
    }

    const std::string journalPath = renameJournalPath(folder);
    if (Status written = writeFileAtomically(journalPath, encodeJournal(journal)); !written)
        return fail("Cannot begin the rename: " + written.message());
    JournalApplied applied = applyJournal(folder, journal);
    if (!applied.status) {
        const std::string why = applied.status.message();
        journal.direction = RenameJournal::Direction::Back;
        if (Status turned = writeFileAtomically(journalPath, encodeJournal(journal)); !turned)
            return fail("Cannot rename: " + why +
                        "; Tavix completes the rename the next time it opens the notebook");
        const JournalApplied undone = applyJournal(folder, journal);
        reindex(&index, journal);
        if (!undone.status)
            return fail("Cannot rename: " + why + "; undoing it failed too (" +
                        undone.status.message() +
                        "), which Tavix completes the next time it opens the notebook");
        removeJournal(folder);
        return fail("Cannot rename: " + why + "; nothing was changed");
    }

    // The index learns what was written from the texts already read back.
    std::vector<NotebookIndex::SavedPage> saved;
    saved.push_back({oldName, std::nullopt, nullptr});
    saved.push_back({newName, std::nullopt, nullptr});
    const std::unordered_set<std::string> written(applied.written.begin(), applied.written.end());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (!prepared[i].entry)
            continue;
        const std::u16string name = fromUtf8(prepared[i].entry->page);
        if (written.count(prepared[i].entry->page) != 0) {
            outcome.changed.push_back(name);
            saved.push_back({name, prepared[i].entry->after, &*prepared[i].shown});
        } else {
            saved.push_back({name, std::nullopt, nullptr});
        }
    }
    for (const std::string& conflict : applied.conflicts) {
        const std::size_t colon = conflict.find(": ");
        outcome.leftAlone.push_back(
            {fromUtf8(conflict.substr(0, colon)), conflict.substr(colon + 2)});
    }
    index.pagesSaved(saved);
    if (Status removed = removeJournal(folder); !removed)
        return fail(removed.message());
    std::sort(outcome.changed.begin(), outcome.changed.end());
    return outcome;
}

}  // namespace tavix
