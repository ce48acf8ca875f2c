#include "store/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace tavix {

namespace {

constexpr char kTemporaryPrefix[] = ".tavix-tmp-";
constexpr char kRedoPrefix[] = ".tavix-redo-";
constexpr std::size_t kRandomLetters = 10;
// As many links as the kernel follows in one path before it gives ELOOP.
constexpr int kMaxLinks = 40;
// A temporary file of the old format names no process; one this old belongs
// to no save still running.
constexpr std::time_t kOldTemporaryAge = 3600;

std::string reasonFor(int error) { return std::strerror(error); }

// The file as a message names it: the path given, and where a link led.
std::string shownPath(const std::string& path, const std::string& target) {
    if (target.empty() || target == path)
        return "\"" + path + "\"";
    return "\"" + path + "\" (linked to \"" + target + "\")";
}

Status failureFor(const std::string& what, const std::string& path, int error,
                  const std::string& target = {}) {
    return Status::failure(what + " " + shownPath(path, target) + ": " + reasonFor(error));
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Writes all of bytes from offset on, going on after short writes and
// interrupted calls.
bool writeAllAt(int fd, std::string_view bytes, off_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes renames and removals in folder durable. The data is already safe, so
// a folder that cannot be synced is not a failure of the write.
void syncFolder(const std::string& folder) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string randomLetters() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
    std::string letters;
    for (std::size_t i = 0; i < kRandomLetters; ++i)
        letters.push_back(kLetters[pick(generator)]);
    return letters;
}

// ".tavix-tmp-<pid>-<letters>": hidden (skipped by the page listing), never
// holding ".xhtml", and naming its writer, so that the leftovers of a save
// that was killed can be told from those of a save still running.
std::string temporaryName() {
    return kTemporaryPrefix + std::to_string(::getpid()) + "-" + randomLetters();
}

// Opens a new temporary file in folder; the mode 0666 lets the umask give
// the file the same permissions any other new file of the user would get.
int createTemporary(const std::string& folder, std::string& tempPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "/" + temporaryName();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes bytes to a new temporary file in folder and syncs it. Returns 0 and
// the file's path, or the error (and no file is left).
int writeTemporary(const std::string& folder, std::string_view bytes, const struct stat* old,
                   std::string& tempPath) {
    const int fd = createTemporary(folder, tempPath);
    if (fd < 0)
        return errno;
    if (old) {
        // Keep the owner and permissions the user gave the file being
        // replaced; only the superuser may give a file away, so the owner is
        // kept where the system allows it and left otherwise.
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid())
            (void)!::fchown(fd, old->st_uid, old->st_gid);
        ::fchmod(fd, old->st_mode & 07777);
    }
    int error = 0;
    if (!writeAllAt(fd, bytes, 0))
        error = errno;
    else if (::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(tempPath.c_str());
    return error;
}

bool readLink(const std::string& path, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            target = std::move(buffer);
            return true;
        }
        if (buffer.size() >= 65536) {
            errno = ENAMETOOLONG;
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Follows path through symbolic links to the name that is no link (or does
// not exist yet: a dangling link is written through, creating its target).
// Returns 0 or the error.
int resolveLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0)
            return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(info.st_mode))
            return 0;
        if (hops == kMaxLinks)
            return ELOOP;
        std::string next;
        if (!readLink(target, next))
            return errno;
        if (next.empty())
            return ENOENT;
        target = next.front() == '/' ? next : folderOf(target) + "/" + next;
    }
}

// ---------------------------------------------------------------- leftovers

// True only when no process of that pid exists: a pid that cannot be
// signalled for want of permission belongs to someone's running process.
bool processEnded(long pid) {
    return pid > 0 && pid <= INT_MAX && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool areLetters(std::string_view text) {
    if (text.size() != kRandomLetters)
        return false;
    for (char c : text)
        if (!isLetter(c))
            return false;
    return true;
}

// Reads "<digits>-" at the start of text into number and drops it from text.
bool takeNumber(std::string_view& text, unsigned long long& number) {
    std::size_t i = 0;
    number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (__builtin_mul_overflow(number, 10ull, &number) ||
            __builtin_add_overflow(number, static_cast<unsigned>(text[i] - '0'), &number))
            return false;
    if (i == 0 || i == text.size() || text[i] != '-')
        return false;
    text.remove_prefix(i + 1);
    return true;
}

// The parts of a leftover's name; pid 0 when the name carries none.
struct Leftover {
    enum Kind { None, Temporary, OldTemporary, Redo } kind = None;
    long pid = 0;
    unsigned long long inode = 0;
};

Leftover parseLeftover(std::string_view name) {
    Leftover left;
    unsigned long long pid = 0;
    if (name.rfind(kTemporaryPrefix, 0) == 0) {
        name.remove_prefix(sizeof kTemporaryPrefix - 1);
        if (areLetters(name)) {
            left.kind = Leftover::OldTemporary;
        } else if (takeNumber(name, pid) && areLetters(name) && pid <= INT_MAX) {
            left.kind = Leftover::Temporary;
            left.pid = static_cast<long>(pid);
        }
    } else if (name.rfind(kRedoPrefix, 0) == 0) {
        name.remove_prefix(sizeof kRedoPrefix - 1);
        if (takeNumber(name, pid) && takeNumber(name, left.inode) && areLetters(name) &&
            pid <= INT_MAX) {
            left.kind = Leftover::Redo;
            left.pid = static_cast<long>(pid);
        }
    }
    return left;
}

// Names in folder that look like leftovers of a save.
std::vector<std::string> leftoverNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (parseLeftover(name).kind != Leftover::None)
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

// Removes the copies that ended writers left for the file of that inode: a
// save about to rewrite the file outdates them, and finishing them later
// would put their older content back.
void dropOutdatedCopies(const std::string& folder, ino_t inode) {
    for (const std::string& name : leftoverNames(folder)) {
        const Leftover left = parseLeftover(name);
        if (left.kind == Leftover::Redo && left.inode == inode && processEnded(left.pid))
            ::unlink((folder + "/" + name).c_str());
    }
}

// Rewrites the open file fd to hold exactly bytes and syncs it.
int rewriteOpenFile(int fd, std::string_view bytes) {
    if (!writeAllAt(fd, bytes, 0))
        return errno;
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
        return errno;
    if (::fsync(fd) != 0)
        return errno;
    return 0;
}

// Opens the regular file at path for writing in place, failing (ESTALE) when
// it is no longer the file of that device and inode.
int openSameFile(const std::string& path, dev_t device, ino_t inode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_dev != device ||
        info.st_ino != inode) {
        ::close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

enum class Finish { Done, NoFile, Failed };

// Finishes an in-place rewrite cut short: puts the copy's content into the
// file of that inode in folder, unless it holds it already.
Finish finishRewrite(const std::string& folder, const std::string& copyPath, dev_t device,
                     unsigned long long inode, bool& rewrote) {
    rewrote = false;
    std::string target;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || parseLeftover(name).kind != Leftover::None)
                continue;
            struct stat info {};
            const std::string path = folder + "/" + name;
            if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                info.st_dev == device && info.st_ino == inode) {
                target = path;
                break;
            }
        }
        ::closedir(dir);
    }
    if (target.empty())
        return Finish::NoFile;
    std::string copy;
    std::string current;
    if (!readWholeFile(copyPath, copy) || !readWholeFile(target, current))
        return Finish::Failed;
    if (copy == current)
        return Finish::Done;
    struct stat info {};
    // The user may have protected the file since; then it is left as it is.
    if (::lstat(target.c_str(), &info) != 0 || (info.st_mode & S_IWUSR) == 0)
        return Finish::Failed;
    const int fd = openSameFile(target, device, static_cast<ino_t>(inode));
    if (fd < 0)
        return Finish::Failed;
    const int error = rewriteOpenFile(fd, copy);
    if (::close(fd) != 0 || error != 0)
        return Finish::Failed;
    rewrote = true;
    return Finish::Done;
}

// ---------------------------------------------------------------- saving

Status replaceByRename(const std::string& path, const std::string& target,
                       const struct stat* old, std::string_view bytes) {
    const std::string folder = folderOf(target);
    std::string tempPath;
    if (const int error = writeTemporary(folder, bytes, old, tempPath))
        return failureFor("Cannot write", path, error, target);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return failureFor("Cannot write", path, error, target);
    }
    syncFolder(folder);
    return Status::success();
}

// A file with several hard links is one file under several names. Renaming a
// new file over one name would leave the other names holding the old content,
// so the file itself is rewritten in place. That is not atomic: a crash in
// the middle would leave it half written. So the new content is first written
// beside it as a synced copy under a name that says whose rewrite it is and
// of which file; a crash midway leaves that copy, from which the next cleanup
// of the folder finishes the rewrite. Once the file is rewritten and synced
// the copy goes. Should the rewrite fail (a full disk), the old content,
// read beforehand, is put back.
Status rewriteInPlace(const std::string& path, const std::string& target, const struct stat& old,
                      std::string_view bytes) {
    const std::string folder = folderOf(target);
    dropOutdatedCopies(folder, old.st_ino);
    std::string previous;
    if (Status read = readWholeFile(target, previous); !read)
        return read;

    // The copy gets the file's mode: it holds what the file is about to.
    std::string tempPath;
    if (const int error = writeTemporary(folder, bytes, &old, tempPath))
        return failureFor("Cannot write", path, error, target);
    const std::string copyPath = folder + "/" + kRedoPrefix + std::to_string(::getpid()) + "-" +
                                 std::to_string(old.st_ino) + "-" + randomLetters();
    if (::rename(tempPath.c_str(), copyPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return failureFor("Cannot write", path, error, target);
    }
    syncFolder(folder);

    const int fd = openSameFile(target, old.st_dev, old.st_ino);
    if (fd < 0) {
        const int error = errno;
        ::unlink(copyPath.c_str());
        return failureFor("Cannot write", path, error, target);
    }
    const int error = rewriteOpenFile(fd, bytes);
    const bool whole = error == 0 || rewriteOpenFile(fd, previous) == 0;
    ::close(fd);
    if (!whole)
        return Status::failure("Cannot write " + shownPath(path, target) + ": " + reasonFor(error) +
                               "; the file is half written and its new content is kept in \"" +
                               copyPath + "\", from which Tavix completes it the next time it "
                               "opens that folder");
    ::unlink(copyPath.c_str());
    syncFolder(folder);
    if (error != 0)
        return failureFor("Cannot write", path, error, target);
    return Status::success();
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string xdgFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    // The XDG rules say a relative value is invalid and must be ignored.
    std::string folder;
    if (value && value[0] == '/') {
        folder = value;
    } else {
        folder = homeFolder();
        if (!folder.empty() && folder.back() == '/')
            folder.pop_back();
        folder += fallbackBelowHome;
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    if (path.empty() || path.back() == '/')
        return Status::failure("Cannot write \"" + path + "\": not a file name");
    std::string target;
    if (const int error = resolveLinks(path, target))
        return failureFor("Cannot write", path, error, target);

    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // The mode bits, not access(): the superuser may write anything, and
        // a file its owner protected must still be left alone.
        if ((old.st_mode & S_IWUSR) == 0)
            return Status::failure("Cannot write " + shownPath(path, target) +
                                   ": the file is write-protected");
        if (old.st_nlink > 1)
            return rewriteInPlace(path, target, old, bytes);
        return replaceByRename(path, target, &old, bytes);
    }
    return replaceByRename(path, target, nullptr, bytes);
}

Status readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // O_NONBLOCK so that a FIFO in place of a file cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failureFor("Cannot read", path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return failureFor("Cannot read", path, error);
    }
    if (info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            bytes.clear();
            return failureFor("Cannot read", path, error);
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return Status::success();
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && (::stat(path.c_str(), &info) == 0 || ::lstat(path.c_str(), &info) == 0);
}

bool isReadableFile(const std::string& path) {
    if (path.empty())
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

bool ensureFolder(const std::string& path) {
    if (path.empty())
        return false;
    if (pathExists(path))
        return true;
    ::mkdir(path.c_str(), 0700);
    return pathExists(path);
}

bool ensureFolderPath(const std::string& path) {
    if (path.empty())
        return false;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = slash == std::string::npos ? path : path.substr(0, slash);
        if (!level.empty())
            ensureFolder(level);
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> listRegularFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty())
        return names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // Some file systems give no type; a link counts as what it points to.
            struct stat info {};
            regular = ::stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
        }
        if (regular)
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

StaleCleanup removeStaleTemporaries(const std::string& folder) {
    StaleCleanup result;
    if (folder.empty())
        return result;
    const std::time_t now = std::time(nullptr);
    for (const std::string& name : leftoverNames(folder)) {
        const Leftover left = parseLeftover(name);
        const std::string path = folder + "/" + name;
        struct stat info {};
        // Saves only ever leave regular files; a link is never followed.
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        bool remove = false;
        switch (left.kind) {
        case Leftover::Temporary:
            remove = processEnded(left.pid);
            break;
        case Leftover::OldTemporary:
            remove = now - info.st_mtime > kOldTemporaryAge;
            break;
        case Leftover::Redo:
            if (processEnded(left.pid)) {
                bool rewrote = false;
                remove = finishRewrite(folder, path, info.st_dev, left.inode, rewrote) !=
                         Finish::Failed;
                if (rewrote)
                    ++result.recovered;
            }
            break;
        case Leftover::None:
            break;
        }
        if (remove && ::unlink(path.c_str()) == 0)
            ++result.removed;
    }
    if (result.removed > 0)
        syncFolder(folder);
    return result;
}

std::string configHome() { return xdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string dataHome() { return xdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string cacheHome() { return xdgFolder("XDG_CACHE_HOME", "/.cache"); }

}  // namespace tavix
