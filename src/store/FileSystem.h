#pragma once
// The few file-system operations the store needs, on UTF-8 paths with "/".
#include <string>
#include <string_view>
#include <vector>

#include "store/Status.h"

namespace tavix {

// Replaces the file at path with bytes so that readers see either the old
// file or the complete new one: writes a temporary file in the same folder
// (its name starts with "." and never ends in ".xhtml"), flushes it to disk
// and renames it over path. On failure the old file is untouched, the
// temporary file is removed, and the status names the file and the reason.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

// Reads a whole file. Fails (with the reason) when it cannot be opened or read.
Status readWholeFile(const std::string& path, std::string& bytes);

// True when something (file or folder) exists at path.
bool pathExists(const std::string& path);

// True when path names a regular file that can be opened for reading.
bool isReadableFile(const std::string& path);

// Creates the folder when nothing exists at path; an existing file or folder
// counts as present. Only the last component is created. Returns true when
// something exists at path afterwards.
bool ensureFolder(const std::string& path);

// Names of the regular files directly in folder (not sorted). Empty when the
// folder cannot be read.
std::vector<std::string> listRegularFiles(const std::string& folder);

// $XDG_CONFIG_HOME, or $HOME/.config when unset or not absolute.
std::string configHome();
// $XDG_DATA_HOME, or $HOME/.local/share when unset or not absolute.
std::string dataHome();

}  // namespace tavix
