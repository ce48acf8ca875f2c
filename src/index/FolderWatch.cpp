#include "index/FolderWatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

constexpr std::uint32_t kNotices = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose every change is made through this kernel, so that it
// notices them all. Network file systems, FUSE and overlays are not.
bool isLocalFileSystem(long type) {
    switch (static_cast<unsigned long>(type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x9123683E:  // btrfs
    case 0x58465342:  // xfs
    case 0x01021994:  // tmpfs
    case 0x858458F6:  // ramfs
    case 0xF2F52010:  // f2fs
    case 0x3153464A:  // jfs
    case 0x52654973:  // reiserfs
    case 0x3434:      // nilfs2
    case 0xCA451A4E:  // bcachefs
    case 0x2FC12FC1:  // zfs
        return true;
    default:
        return false;
    }
}

}  // namespace

FolderWatch::FolderWatch(std::string folder) : folder_(std::move(folder)) {
    folder16_ = fromUtf8(folder_);
    Notebook notebook;
    notebook.setFolder(folder16_);
    folder16_ = notebook.folder();
    notebookName_ = notebook.name();
}

FolderWatch::~FolderWatch() {
    if (notify_ >= 0)
        ::close(notify_);
    if (folderFd_ >= 0)
        ::close(folderFd_);
}

const std::vector<WatchedFile>& FolderWatch::files() {
    looked_ = 0;
    if (!fresh_ && drainNotices()) {
        // The folder still the one watched (not replaced by another of the
        // same path since, which no notice of the old one would tell).
        struct stat now {};
        if (::stat(folder_.c_str(), &now) != 0 || static_cast<std::uint64_t>(now.st_dev) != folderDevice_ ||
            static_cast<std::uint64_t>(now.st_ino) != folderInode_)
            fresh_ = true;
    } else {
        fresh_ = true;
    }
    const bool afresh = fresh_;
    if (afresh) {
        startAfresh();
    } else {
        std::unordered_set<std::string> seen;
        for (const std::string& name : changed_) {
            const auto it = byName_.find(name);
            if (it == byName_.end() || !seen.insert(name).second)
                continue;
            WatchedFile& f = files_[it->second];
            stat(f);
            if (!f.regular)
                relist_ = true;  // removed, or replaced by what is no page
        }
        changed_.clear();
        if (relist_ && !relist())
            fresh_ = true;
    }
    trusted_ = !fresh_ && notify_ >= 0 && localFileSystem_ && plainEntries_;
    // Listing afresh has just looked at every file.
    if (!afresh)
        for (WatchedFile& f : files_)
            if (!trusted_ || f.links > 1)
                stat(f);
    // Untrusted, nothing carries over: the next call looks at all again.
    if (!trusted_)
        fresh_ = true;
    return files_;
}

void FolderWatch::startAfresh() {
    if (notify_ >= 0)
        ::close(notify_);
    if (folderFd_ >= 0)
        ::close(folderFd_);
    notify_ = folderFd_ = -1;
    files_.clear();
    byName_.clear();
    changed_.clear();
    relist_ = false;
    // The watch comes first, so that whatever changes after it is listed
    // and looked at is noticed.
    struct stat before {};
    const bool watching = ::stat(folder_.c_str(), &before) == 0 && watch();
    folderFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat opened {};
    if (folderFd_ < 0 || ::fstat(folderFd_, &opened) != 0)
        return;
    folderDevice_ = static_cast<std::uint64_t>(opened.st_dev);
    folderInode_ = static_cast<std::uint64_t>(opened.st_ino);
    if (!watching || before.st_dev != opened.st_dev || before.st_ino != opened.st_ino) {
        if (notify_ >= 0)
            ::close(notify_);
        notify_ = -1;
    }
    struct statfs fs {};
    localFileSystem_ = ::fstatfs(folderFd_, &fs) == 0 && isLocalFileSystem(fs.f_type);
    if (relist())
        fresh_ = false;
}

bool FolderWatch::watch() {
    notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ < 0)
        return false;  // out of instances: every call looks at every file
    if (::inotify_add_watch(notify_, folder_.c_str(), kNotices) < 0) {
        ::close(notify_);
        notify_ = -1;
        return false;
    }
    return true;
}

bool FolderWatch::drainNotices() {
    if (notify_ < 0)
        return false;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(notify_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (got <= 0)
            return false;
        for (const char* p = buffer; p < buffer + got;) {
            const auto* notice = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + notice->len;
            if (notice->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
                return false;
            if (notice->len == 0)
                continue;
            std::string name(notice->name);
            const bool listed = byName_.count(name) != 0;
            if (listed && (notice->mask & (IN_DELETE | IN_MOVED_FROM)))
                relist_ = true;
            else if (!listed && (notice->mask & (IN_CREATE | IN_MOVED_TO)) && Notebook::pageNameOfFile(name))
                relist_ = true;
            if (listed)
                changed_.push_back(std::move(name));
        }
    }
}

bool FolderWatch::relist() {
    relist_ = false;
    if (folderFd_ < 0)
        return false;
    const int again = ::openat(folderFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = again >= 0 ? ::fdopendir(again) : nullptr;
    if (!dir) {
        if (again >= 0)
            ::close(again);
        files_.clear();
        byName_.clear();
        return false;
    }
    std::vector<WatchedFile> now;
    bool plain = true;
    while (const dirent* entry = ::readdir(dir)) {
        std::optional<std::u16string> pageName = Notebook::pageNameOfFile(entry->d_name);
        if (!pageName)
            continue;
        WatchedFile f;
        f.file = entry->d_name;
        const auto old = byName_.find(f.file);
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // A link counts as what it points to, as in the page listing.
            plain = false;
            stat(f);
            if (!f.regular)
                continue;
        } else if (entry->d_type != DT_REG) {
            continue;
        } else if (old != byName_.end() && files_[old->second].regular) {
            f = std::move(files_[old->second]);
        } else {
            stat(f);
            if (!f.regular)
                continue;  // gone or replaced since it was listed
        }
        f.entry.pageName = std::move(*pageName);
        f.entry.notebookName = notebookName_;
        f.path = folder16_ + u"/" + fromUtf8(f.file);
        now.push_back(std::move(f));
    }
    ::closedir(dir);
    // Byte order of the names, as the page listing.
    std::sort(now.begin(), now.end(), [](const WatchedFile& a, const WatchedFile& b) { return a.file < b.file; });
    files_ = std::move(now);
    byName_.clear();
    for (std::size_t i = 0; i < files_.size(); ++i)
        byName_.emplace(files_[i].file, i);
    plainEntries_ = plain;
    return true;
}

void FolderWatch::stat(WatchedFile& f) {
    ++looked_;
    struct stat info {};
    f.regular = folderFd_ >= 0 && ::fstatat(folderFd_, f.file.c_str(), &info, 0) == 0 && f.facts.take(info);
    if (f.regular)
        f.links = static_cast<std::uint64_t>(info.st_nlink);
}

}  // namespace tavix
