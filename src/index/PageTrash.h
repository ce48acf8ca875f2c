#pragma once
// Deleting a page: its file goes to the user's trash, the home trash of the
// freedesktop.org trash rules ($XDG_DATA_HOME/Trash, ~/.local/share/Trash
// when unset), from which any file manager restores it. Links to the page
// stay as they are: they lead to a new, empty page until it is restored.
#include <string>

#include "index/NotebookIndex.h"
#include "store/Status.h"

namespace tavix {

struct TrashedPage {
    Status status;
    std::string file;  // where the page file went: <trash>/files/<name>
    std::string info;  // its <trash>/info/<name>.trashinfo
};

// The home trash folder: dataHome() + "/Trash".
std::string homeTrashFolder();

// Moves the page's file to trashFolder's "files", under its own file name or,
// when that is taken, "<page>.2.xhtml", "<page>.3.xhtml"... first reserving
// the name with "info/<that name>.trashinfo" (Path= the file's absolute
// path, percent-encoded; DeletionDate= local time, YYYY-MM-DDThh:mm:ss),
// synced before the file moves. A symbolic link goes as the link. Across
// file systems the file is copied and synced before the original goes.
// Fails, changing nothing, for the front page (FrontPage), an unsafe name,
// a page without a file, or a trash that cannot be written. Holds the
// notebook's lock and finishes an unfinished rename first. index may be
// null; otherwise the page leaves it at once.
TrashedPage deletePage(const std::string& folder, NotebookIndex* index, const std::u16string& name,
                       const std::string& trashFolder = homeTrashFolder());

}  // namespace tavix
