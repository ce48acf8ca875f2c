#pragma once
// The few file-system operations the store needs, on UTF-8 paths with "/".
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/Status.h"

namespace tavix {

// Replaces the file at path with bytes so that readers see either the old
// file or the complete new one: writes a temporary file in the same folder,
// flushes it to disk and renames it over path. On failure the old file is
// untouched, the temporary file is removed, and the status names the file and
// the reason. What is replaced keeps what it was:
// - a symbolic link stays a link: the chain of links is followed (relative
//   targets read against the folder of the link holding them) and the file
//   it leads to is replaced, in that file's folder;
// - the new file takes the old one's mode (and owner, where allowed);
// - a file with several hard links is rewritten in place, so that all its
//   names see the new content; a synced copy of the new content stays beside
//   it while that happens (".tavix-redo-<pid>-<inode>-<letters>"), from which
//   removeStaleTemporaries finishes a rewrite cut short by a crash;
// - a write-protected file (no owner write bit) is refused, whoever runs.
// Temporary files are named ".tavix-tmp-<pid>-<10 letters>": hidden, never
// holding ".xhtml", so never listed as pages.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

struct StaleCleanup {
    std::size_t removed = 0;    // files removed
    std::size_t recovered = 0;  // in-place rewrites finished from their copy
};

// Removes from folder (not below it) what saves of processes that no longer
// run left behind: their temporary files, and files of the old name format
// ".tavix-tmp-<10 letters>" (which carry no pid) once they are more than an
// hour old. A rewrite in place that was cut short is finished first from its
// copy. Files of running processes, and anything that is not a regular file,
// are never touched. Call it when a folder that saves write to is opened.
StaleCleanup removeStaleTemporaries(const std::string& folder);

// Reads a whole file. Fails (with the reason) when it cannot be opened or read.
Status readWholeFile(const std::string& path, std::string& bytes);

// True when something (file or folder) exists at path.
bool pathExists(const std::string& path);

// True when path names a regular file that can be opened for reading.
bool isReadableFile(const std::string& path);

// Creates the folder when nothing exists at path, readable by its owner only
// (0700, as the XDG rules ask); an existing file or folder counts as present
// and is left as it is. Only the last component is created. Returns true when
// something exists at path afterwards.
bool ensureFolder(const std::string& path);
// The same for every missing level of path, from the outside in. True when
// path is a folder afterwards.
bool ensureFolderPath(const std::string& path);

// Names of the regular files directly in folder (not sorted). Empty when the
// folder cannot be read.
std::vector<std::string> listRegularFiles(const std::string& folder);

// $XDG_CONFIG_HOME, or $HOME/.config when unset or not absolute.
std::string configHome();
// $XDG_DATA_HOME, or $HOME/.local/share when unset or not absolute.
std::string dataHome();
// $XDG_CACHE_HOME, or $HOME/.cache when unset or not absolute.
std::string cacheHome();

}  // namespace tavix
