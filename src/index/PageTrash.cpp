#include "index/PageTrash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "index/PageRename.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The path as a URI path (RFC 2396): unreserved characters and "/" stay,
// every other byte is written %XX.
std::string percentEncoded(const std::string& path) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || std::strchr("/-_.!~*'()", c) != nullptr;
        if (keep && c != 0) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 0xF]);
        }
    }
    return out;
}

std::string realFolder(const std::string& folder) {
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        std::string path = real;
        std::free(real);
        return path;
    }
    return folder;
}

Status writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Status::failure(reason(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0 ? Status::success() : Status::failure(reason(errno));
}

// Across file systems a move is a copy: the copy is complete and synced
// before the original goes, so a failure leaves the original in place.
Status copyThenRemove(const std::string& from, const std::string& to) {
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0)
        return Status::failure(reason(errno));
    if (S_ISLNK(info.st_mode)) {
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size())
            return Status::failure(reason(n < 0 ? errno : ENAMETOOLONG));
        target.resize(static_cast<std::size_t>(n));
        if (::symlink(target.c_str(), to.c_str()) != 0)
            return Status::failure(reason(errno));
    } else {
        std::string bytes;
        if (Status read = readWholeFile(from, bytes); !read)
            return read;
        const int fd =
            ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
        if (fd < 0)
            return Status::failure(reason(errno));
        Status written = writeAll(fd, bytes);
        if (::close(fd) != 0 && written)
            written = Status::failure(reason(errno));
        if (!written) {
            ::unlink(to.c_str());
            return written;
        }
    }
    syncFolder(to.substr(0, to.rfind('/')));
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        return Status::failure(reason(error));
    }
    return Status::success();
}

}  // namespace

std::string homeTrashFolder() {
    return dataHome() + "/Trash";
}

TrashedPage deletePage(const std::string& folder, NotebookIndex* index, const std::u16string& name,
                       const std::string& trashFolder) {
    TrashedPage result;
    auto fail = [&](std::string why) {
        result.status = Status::failure(std::move(why));
        result.file.clear();
        result.info.clear();
        return result;
    };
    const std::string page = toUtf8(name);
    if (!Notebook::isSafePageName(name))
        return fail("unknown page: \"" + page + "\"");
    if (name == Notebook::frontPageName())
        return fail("The front page cannot be deleted");

    NotebookLock lock(folder);
    if (!lock.status())
        return fail(lock.status().message());
    if (JournalRecovery earlier = recoverJournalLocked(folder, index); !earlier.status)
        return fail(earlier.status.message());
    const std::string path = folder + "/" + page + ".xhtml";
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return fail("unknown page: \"" + page + "\"");

    const std::string files = trashFolder + "/files";
    const std::string infos = trashFolder + "/info";
    if (!ensureFolderPath(files) || !ensureFolderPath(infos))
        return fail("Cannot use the trash folder \"" + trashFolder + "\"");

    // The name is reserved by creating its info file exclusively: two
    // deletes (of any program) never take the same name.
    const std::string base = page + ".xhtml";
    int fd = -1;
    for (int n = 1; n < 10000 && fd < 0; ++n) {
        const std::string candidate = n == 1 ? base : page + "." + std::to_string(n) + ".xhtml";
        result.info = infos + "/" + candidate + ".trashinfo";
        result.file = files + "/" + candidate;
        fd = ::open(result.info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return fail("Cannot write \"" + result.info + "\": " + reason(errno));
        if (fd >= 0 && ::lstat(result.file.c_str(), &info) == 0) {
            // A file without its info (left by someone else): not ours.
            ::close(fd);
            ::unlink(result.info.c_str());
            fd = -1;
        }
    }
    if (fd < 0)
        return fail("Cannot find a free name in the trash for \"" + base + "\"");

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string text =
        "[Trash Info]\nPath=" + percentEncoded(realFolder(folder) + "/" + base) +
        "\nDeletionDate=" + date + "\n";
    Status written = writeAll(fd, text);
    if (::close(fd) != 0 && written)
        written = Status::failure(reason(errno));
    if (!written) {
        ::unlink(result.info.c_str());
        return fail("Cannot write \"" + result.info + "\": " + written.message());
    }
    syncFolder(infos);

    Status moved;
    if (::rename(path.c_str(), result.file.c_str()) != 0)
        moved = errno == EXDEV ? copyThenRemove(path, result.file) : Status::failure(reason(errno));
    if (!moved) {
        const std::string info = result.info;
        ::unlink(info.c_str());
        return fail("Cannot move \"" + path + "\" to the trash: " + moved.message());
    }
    syncFolder(files);
    syncFolder(folder);
    if (index && index->isOpen())
        index->refreshPage(name);
    return result;
}

}  // namespace tavix
