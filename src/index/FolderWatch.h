#pragma once
// The page files of one notebook folder with their stamps, kept current
// between searches by the kernel's change notices (Linux inotify) rather
// than by a stat of every file each time: on a notebook of 20,000 pages the
// stats alone cost more than the whole indexed search.
//
// files() lists exactly what PageFileIterator lists, in the same order,
// with each file's stamps as a stat now would give them. Only the files
// the kernel reported changed since the last call are looked at again.
// Where notices cannot be trusted to cover every change, every file is
// looked at each time, as without a watch:
// - file systems whose changes may come from elsewhere (network, FUSE,
//   overlay and any other not known to be local);
// - a folder holding a symbolic link, or an entry of unknown type (a link's
//   target changes where no notice reaches this folder);
// - a file with more than one hard link (written through another name in
//   another folder, it raises no notice here) is looked at every time; a
//   second name made while the folder is watched is not noticed, though;
// - after the kernel's queue overflowed, or the folder was moved, deleted,
//   replaced or unmounted, the next call starts afresh.
// The blind spots left: a page file given a second name in another folder
// while watched, then written in place through that name; and a file
// written through a shared memory mapping. No editor of text files does
// either; a notebook where something does is searched with the full scan
// (tavix-cli find) or from a fresh watch.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "index/FileFacts.h"
#include "store/FoundPage.h"

namespace tavix {

struct WatchedFile {
    std::string file;  // UTF-8 name within the folder
    FoundPage entry;
    std::u16string path;
    bool regular = false;  // stat gave a regular file (facts valid)
    FileFacts facts;
    std::uint64_t links = 1;
};

class FolderWatch {
public:
    // Nothing is read until the first files().
    explicit FolderWatch(std::string folder);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // The folder's page files, current as of this call; empty when the
    // folder cannot be listed. Valid until the next call.
    const std::vector<WatchedFile>& files();

    // How the last files() was answered: whether notices were trusted, and
    // how many files it looked at (stat) to answer.
    bool trusted() const { return trusted_; }
    std::size_t looked() const { return looked_; }

private:
    void startAfresh();
    bool watch();
    // Reads the notices queued since the last call; false when they no
    // longer tell every change (overflow, the folder gone or replaced).
    bool drainNotices();
    // Lists the folder again, keeping the stamps of names that stayed and
    // were not reported changed; false when it cannot be listed.
    bool relist();
    void stat(WatchedFile& f);

    std::string folder_;
    std::u16string folder16_;
    std::u16string notebookName_;
    int notify_ = -1;
    int folderFd_ = -1;
    std::uint64_t folderDevice_ = 0, folderInode_ = 0;
    bool localFileSystem_ = false;
    bool plainEntries_ = false;  // no links or entries of unknown type
    bool fresh_ = true;          // the next call lists and looks at everything
    bool relist_ = false;
    std::vector<WatchedFile> files_;
    std::unordered_map<std::string, std::size_t> byName_;
    std::vector<std::string> changed_;  // names reported since the last call
    bool trusted_ = false;
    std::size_t looked_ = 0;
};

}  // namespace tavix
