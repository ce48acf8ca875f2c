#pragma once
// The notebook index: for every page file of a notebook its name, title,
// keywords, size, times and the link words it holds, kept in an SQLite
// database so that the page listing, the name filter and the backlinks of
// a page need no reading of page files.
//
// It is a cache. The page files stay the only truth: deleting the index
// loses nothing, and an index file that is damaged, of another schema
// version (PRAGMA user_version) or made for another folder is started
// afresh. It lives in $XDG_CACHE_HOME/Halvorix/Tavix/ (~/.cache/... when
// unset) as "notebook-<hash of the folder's real path>.sqlite"; where that
// folder cannot be used, in memory for the life of the object.
//
// Staying up to date:
// - update() compares the folder with the index by file size, modification
//   and change times and inode, and reads only the files that differ (and
//   those whose times were too close to their reading to be trusted). Call
//   it when the notebook is opened and whenever the page listing is read;
//   it notices whatever another program (or tavix-cli) did meanwhile.
// - pageSaved() after every save of a page by the program, at once.
//
// Link words are those of the body and the keywords as the editor marks
// them (see index/PageText.h); titles hold none.
//
// Beside it the text index: each page's text as the page matcher searches
// it, and trigram lists that tell which pages may hold a piece of text, so
// that searchText() answers a page search without reading every file (see
// index/TextSearch.h and TextIndex.cpp). It is kept by the same update()
// and pageSaved() calls.
//
// One object is one database connection and is used by one thread at a
// time; a background update opens its own object on the same folder. The
// database runs in WAL mode, so readers never wait for that update, and
// every batch of pages is one transaction: what was committed stays when
// the update is cancelled or the process ends.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "index/PageText.h"
#include "index/Sqlite.h"
#include "store/Status.h"

namespace tavix {

class FolderWatch;
class PageMatcher;
struct RequiredText;
struct TextSearchResult;

struct IndexedPage {
    std::u16string name;
    std::u16string title;  // plain text; empty when the file has none
    bool operator==(const IndexedPage&) const = default;
};

struct IndexedPageInfo {
    std::u16string name;
    std::u16string title;
    std::u16string keywords;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;  // nanoseconds since the epoch
    enum State { Read = 0, Damaged = 1, Unreadable = 2 } state = Read;
};

struct IndexProgress {
    std::size_t done = 0;   // files read so far
    std::size_t total = 0;  // files this update has to read
};
// Called after each file read. Returning false cancels the update; what was
// committed until then stays.
using IndexProgressCallback = std::function<bool(const IndexProgress&)>;

struct IndexUpdate {
    Status status;
    bool cancelled = false;
    std::size_t listed = 0;   // page files in the folder
    std::size_t read = 0;     // files read: new, changed, or changed too recently to trust
    std::size_t removed = 0;  // pages whose files are gone
};

class NotebookIndex {
public:
    NotebookIndex();
    ~NotebookIndex();
    NotebookIndex(const NotebookIndex&) = delete;
    NotebookIndex& operator=(const NotebookIndex&) = delete;

    // cacheHome() + "/Halvorix/Tavix".
    static std::string defaultCacheFolder();
    // cacheFolder + "/notebook-<16 hex digits>.sqlite", the digits a hash of
    // the real path of notebookFolder (as given when it has none).
    static std::string indexPathFor(const std::string& notebookFolder,
                                    const std::string& cacheFolder);

    // Opens the index of the notebook folder (UTF-8), creating the missing
    // levels of cacheFolder (0700) and the index itself. A file that is no
    // SQLite database, or holds another schema version or another folder's
    // index, is started afresh (rebuilt() tells). When the cache folder or
    // file cannot be used at all the index is kept in memory (isPersistent()
    // false) and this still succeeds; it fails only when not even that
    // works. The index may be empty or stale after open: call update().
    Status open(const std::string& notebookFolder,
                const std::string& cacheFolder = defaultCacheFolder());
    bool isOpen() const { return db_.isOpen(); }
    bool isPersistent() const { return isOpen() && databasePath_ != ":memory:"; }
    bool rebuilt() const { return rebuilt_; }
    const std::string& folder() const { return folder_; }
    const std::string& databasePath() const { return databasePath_; }

    // Brings the index up to date with the folder (see above). A folder
    // that cannot be listed fails and leaves the index as it was. A page
    // file that cannot be read is listed, as unreadable, without links.
    // An index found damaged meanwhile is started afresh and filled here.
    IndexUpdate update(const IndexProgressCallback& progress = {});

    // The program has just written fileBytes as the page's file: indexes
    // them without reading the file back (unless the file on disk no longer
    // has their size: then it is read). Fails when the file is missing.
    Status pageSaved(const std::u16string& name, std::string_view fileBytes);
    // Reads the page's file again, or drops the page when its file is gone
    // (after a rename or delete outside update()).
    Status refreshPage(const std::u16string& name);
    // Both of the above for many pages in one transaction: a page with
    // bytes is indexed from them (from shown, when the caller has read them
    // already and they read completely), one without is read again; a page
    // whose file is gone is dropped.
    struct SavedPage {
        std::u16string name;
        std::optional<std::string> bytes;
        const PageText* shown = nullptr;
    };
    Status pagesSaved(const std::vector<SavedPage>& pages);

    // Queries. Names compare exactly (case-sensitive); lists come in the
    // order of the page listing (the byte order of the file names) unless
    // said otherwise. They answer from the index as it stands; on failure
    // out is empty and the status says why.
    Status pages(std::vector<IndexedPage>& out);
    // Pages whose name or title contains part, ignoring case (Unicode
    // simple case mapping); an empty part gives every page.
    Status findPages(std::u16string_view part, std::vector<IndexedPage>& out);
    // The page's link words, body first, in the order they first appear;
    // empty for a page the index does not hold.
    Status linksOf(const std::u16string& name, std::vector<std::u16string>& out);
    // The pages whose text holds name as a link word (the page itself
    // included when it links to itself).
    Status backlinksOf(const std::u16string& name, std::vector<std::u16string>& out);
    Status hasPage(const std::u16string& name, bool& exists);
    Status pageInfo(const std::u16string& name, std::optional<IndexedPageInfo>& info);
    // The pages whose files did not read completely (damaged or unreadable):
    // their links are known only as far as they were read.
    Status pagesNotRead(std::vector<std::u16string>& out);

    // Searches the pages' text with matcher (compiled here), answering from
    // the text index where it can (see index/TextSearch.h); out as there.
    // The index is used as it stands: call update() first to have changed
    // pages read once rather than at every search. Every page file's stamps
    // are compared with the index's, unless justUpdated says update() has
    // just done so (what changes after it, changes after the search too).
    // With a watch of the folder the listing and stamps come from it, which
    // looks again only at the files changed since its last use.
    Status searchText(PageMatcher& matcher, TextSearchResult& out, bool justUpdated = false,
                      FolderWatch* watch = nullptr);

    // A file changed this shortly before it was read may change again
    // within the same tick of the file system's clock, keeping its size and
    // times; such a file is read again (its content compared) at each update
    // until it has been quiet this long. 2 s, which covers the coarsest
    // clocks (FAT); tests that need the trusted path shorten it.
    void setQuietPeriod(std::int64_t nanoseconds) { quietNs_ = nanoseconds; }
    // How many pages indexed since the last merge of the text index's
    // trigrams are merged at the next update (they are looked at in every
    // search meanwhile). 256; tests that need merges lower it.
    void setTextMergeThreshold(std::int64_t pages) { mergeAt_ = pages; }

private:
    // Runs a query whose first column is a page name, collecting the names.
    Status namesFrom(sql::Statement& query, std::vector<std::u16string>& out);
    struct Row;
    struct Parsed;
    Status openAt(const std::string& path, bool& damaged);
    Status prepareSchema();
    Status prepareStatements();
    Status startAfresh();
    Status reopenIfReplaced();
    bool noteDamage();
    Status store(const std::vector<Parsed>& batch);
    // Adds the trigrams of the pages indexed since the last merge to the
    // posting lists (all pages when everything must be merged again).
    Status mergeText(bool everything);
    Status candidatesOf(const RequiredText& required, std::vector<std::int64_t>& ids);

    sql::Database db_;
    std::string folder_;
    std::string databasePath_;
    bool rebuilt_ = false;
    bool damaged_ = false;
    bool hadContent_ = false;  // the file opened last was not empty
    std::int64_t quietNs_ = 2'000'000'000;
    std::int64_t mergeAt_ = 256;
    std::uint64_t databaseInode_ = 0;
    struct Statements;
    std::unique_ptr<Statements> st_;
};

// Lower case by the Unicode simple case mapping, independent of the
// process locale: what findPages compares.
std::u16string foldCase(std::u16string_view text);

}  // namespace tavix
