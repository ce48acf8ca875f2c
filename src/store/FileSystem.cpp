#include "store/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace tavix {

namespace {

std::string reasonFor(int error) { return std::strerror(error); }

Status failureFor(const std::string& what, const std::string& path, int error) {
    return Status::failure(what + " \"" + path + "\": " + reasonFor(error));
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Writes all of bytes, going on after short writes and interrupted calls.
bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A temporary name that starts with "." (hidden, skipped by the page
// listing) and holds no ".xhtml", so it can never be taken for a page.
std::string temporaryName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
    std::string name = ".tavix-tmp-";
    for (int i = 0; i < 10; ++i)
        name.push_back(kLetters[pick(generator)]);
    return name;
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
    const std::string folder = folderOf(path);
    std::string tempPath;
    const int fd = createTemporary(folder, tempPath);
    if (fd < 0)
        return failureFor("Cannot write", path, errno);

    // Keep the permissions the user gave the file being replaced.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);

    int error = 0;
    if (!writeAll(fd, bytes))
        error = errno;
    else if (::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(tempPath.c_str());
        return failureFor("Cannot write", path, error);
    }

    // Make the rename itself durable; the data is already safe, so a folder
    // that cannot be synced is not a failure of the write.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Status::success();
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
    ::mkdir(path.c_str(), 0777);
    return pathExists(path);
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

std::string configHome() { return xdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string dataHome() { return xdgFolder("XDG_DATA_HOME", "/.local/share"); }

}  // namespace tavix
