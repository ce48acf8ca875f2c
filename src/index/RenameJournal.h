#pragma once
// The journal that makes a rename all or nothing across files. Before the
// first file changes, the whole rename (the page file's new name and, for
// every page it touches, the text before and after) is written to
// ".tavix-rename-journal" in the notebook folder: hidden and without
// ".xhtml", so never listed as a page; beside the pages it describes, so it
// survives the loss of the cache; replaced atomically and synced, so it is
// either wholly there or not at all. Then the files are changed, and the
// journal removed last. A rename cut short (a kill, a crash, a full disk)
// leaves the journal, from which the rename is finished, or undone, the
// next time the notebook is opened (see recoverJournal in PageRename.h).
//
// Applying is idempotent and never overwrites what it does not know: a
// file is written only when it holds exactly the text the journal says it
// had before (or, undoing, after); a file someone else changed meanwhile is
// left as it is and reported.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/Status.h"

namespace tavix {

struct RenameJournal {
    enum class Direction { Forward, Back };
    Direction direction = Direction::Forward;
    std::string from;  // page names, UTF-8
    std::string to;
    // What the renamed page's file held when the rename began, to know it
    // again under its new name.
    std::uint64_t movedHash = 0;
    struct Entry {
        std::string page;  // the page's name once renamed (UTF-8)
        std::string before;
        std::string after;
    };
    std::vector<Entry> entries;
};

// folder + "/.tavix-rename-journal"
std::string renameJournalPath(const std::string& folder);

std::string encodeJournal(const RenameJournal& journal);
// Fails for anything that is not a whole journal of this format (the
// checksum at its end covers every byte before it).
Status decodeJournal(std::string_view bytes, RenameJournal& journal);

struct JournalApplied {
    // Failure: a file could not be written or the page file could not take
    // its name; the caller turns the journal back.
    Status status;
    std::vector<std::string> written;    // pages written (UTF-8 names)
    std::vector<std::string> conflicts;  // pages left alone, with why
};

// Brings the notebook folder to the state the journal's direction leads
// to: forward, the page file takes the new name, then every page gets its
// text after; back, every page gets its text before again, then the page
// file takes its old name. Pages are written (with writeFileAtomically) by
// several threads at once.
JournalApplied applyJournal(const std::string& folder, const RenameJournal& journal);

// Removes the journal and syncs the folder, so that its removal is on disk
// after the files it describes.
Status removeJournal(const std::string& folder);

}  // namespace tavix
