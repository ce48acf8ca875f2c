#pragma once
// Renaming a page, all or nothing across files: the page file takes the new
// name and every page holding the old name as a link word gets the new one
// instead (see index/LinkRewriter.h for what is replaced and what is kept).
// A journal (index/RenameJournal.h) makes the change atomic against kills
// and crashes; recoverJournal() finishes or undoes a rename that was cut
// short, and must run when a notebook is opened and before each command
// that reads or changes its pages (it costs one stat when there is none).
//
// Renames, recoveries and deletes of one notebook take turns: each holds an
// exclusive lock on the notebook folder (flock), so that the program and
// tavix-cli never work on the same notebook at once; a process that ends
// drops its lock.
//
// Pages the rename cannot change safely are left as they were and reported,
// the rename going ahead for the others: a page file that does not read
// completely is never rewritten (its damage would be written over), nor a
// write-protected one, nor one that writes the old name with a character
// reference or in a way the rewrite cannot follow. Titles stay as they are,
// except the renamed page's own while it is still the one the program gave
// it from its name ("Shopping List" for ShoppingList). Renaming back is an
// ordinary rename.
#include <string>
#include <vector>

#include "index/NotebookIndex.h"
#include "store/Status.h"

namespace tavix {

// Holds the notebook folder's lock for its lifetime (blocking until free).
class NotebookLock {
public:
    explicit NotebookLock(const std::string& folder);
    ~NotebookLock();
    NotebookLock(const NotebookLock&) = delete;
    NotebookLock& operator=(const NotebookLock&) = delete;
    // Failure when the folder cannot be opened or locked.
    const Status& status() const { return status_; }

private:
    int fd_ = -1;
    Status status_;
};

// Why a new page name cannot be used, or success: it must be one link word
// (LinkWords rules) that can be a file name.
Status checkNewPageName(const std::u16string& name);

struct RenameOutcome {
    // Failure: nothing was renamed (or everything was put back), and why.
    Status status;
    std::vector<std::u16string> changed;  // pages whose files were rewritten, under their names now
    struct Left {
        std::u16string page;
        std::string why;
    };
    // Pages linking to the old name that still do (damaged, protected...).
    std::vector<Left> leftAlone;
};

// Renames the page oldName of the notebook folder (UTF-8) to newName.
// Fails when newName is no link word or names an existing page, when the
// page oldName has no file, or when the files cannot be changed (then all is
// as before, unless even the undoing failed: then the journal stays and the
// status says that the next opening of the notebook completes the undoing).
// The index is brought up to date before (to find the pages linking to
// oldName) and after.
RenameOutcome renamePage(const std::string& folder, NotebookIndex& index,
                         const std::u16string& oldName, const std::u16string& newName);

struct JournalRecovery {
    Status status;                       // failure: the journal is still there, and why
    bool found = false;                  // there was an unfinished rename
    bool undone = false;                 // it was undone (else finished)
    std::vector<std::string> conflicts;  // pages changed by someone else meanwhile, left alone
};

// Finishes (or, when it had begun to undo itself, undoes) a rename that was
// cut short. A journal that cannot be read (damaged) is kept beside as
// ".tavix-rename-journal.damaged-<date>" and reported. index may be null;
// otherwise the pages touched are indexed again.
JournalRecovery recoverJournal(const std::string& folder, NotebookIndex* index);
// The same, for a caller that holds the notebook's lock already.
JournalRecovery recoverJournalLocked(const std::string& folder, NotebookIndex* index);

}  // namespace tavix
