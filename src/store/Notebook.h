#pragma once
// The notebook "Default": a folder of page files "<name>.xhtml" and a cache
// of the page documents opened recently.
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "store/FileStamp.h"
#include "store/FoundPage.h"
#include "store/Status.h"

namespace tavix {

class PageDocument;
class Notebook;

// What became of a page save.
struct PageSaveOutcome {
    Status status;
    // The page the edits were written to: the page itself, or, when its file
    // had been changed by someone else since it was read, a conflict copy.
    std::u16string savedAs;
    bool conflict = false;
    // Where the original of a damaged page file was kept (UTF-8), or empty.
    std::string backupPath;
    FileStamp stamp;  // the file as written
};

// Base of the page iterators. A default-constructed iterator is the end
// marker; two iterators are equal when their current page names are equal.
class PageIterator {
public:
    PageIterator() = default;
    virtual ~PageIterator() = default;

    PageIterator& operator++() { advance(); return *this; }
    virtual void advance() {}
    bool operator==(const PageIterator& other) const { return entry_.pageName == other.entry_.pageName; }

    const FoundPage& operator*() const { return entry_; }
    const FoundPage* operator->() const { return &entry_; }
    // Path of the current page's file (UTF-16, "/" separators).
    const std::u16string& path() const { return path_; }

protected:
    FoundPage entry_;
    std::u16string path_;
};

// Walks the page files of one notebook in file-name order (code units of the
// UTF-8 names). Only regular files whose names contain ".xhtml" are listed,
// under the part of the name before the first ".xhtml"; a file that does not
// fit (no such part, an unsafe name) is skipped and never ends the listing.
class PageFileIterator : public PageIterator {
public:
    explicit PageFileIterator(const Notebook& notebook);
    void advance() override;

private:
    void readCurrent();
    std::vector<std::string> files_;  // sorted UTF-8 file names
    std::size_t next_ = 0;
    std::u16string folder_;
    std::u16string notebookName_;
};

class Notebook {
public:
    Notebook();
    ~Notebook();
    Notebook(const Notebook&) = delete;
    Notebook& operator=(const Notebook&) = delete;

    // Removes one trailing "/" when present.
    void setFolder(const std::u16string& path);
    const std::u16string& folder() const { return folder_; }
    const std::u16string& name() const { return name_; }
    // folder + "/" + page name + ".xhtml"
    std::u16string pagePath(const std::u16string& pageName) const;
    static std::u16string frontPageName() { return u"FrontPage"; }

    // A blank before every upper-case character except the first.
    static std::u16string titleFromName(const std::u16string& pageName);
    // False for names that must never become file names: empty, starting
    // with "." (hidden files are never listed), or holding "/", a control
    // character (C0, DEL, C1: they break line-per-name output) or an
    // unpaired surrogate (which has no UTF-8 form, so two names would share
    // one file). Such pages can be shown but not saved.
    static bool isSafePageName(const std::u16string& pageName);
    // The page a file of the folder holds, by its name (UTF-8): none for
    // hidden files, names not ending in ".xhtml", names that are not UTF-8
    // and unsafe page names. What the page listing goes by.
    static std::optional<std::u16string> pageNameOfFile(std::string_view file);

    // The page's document: from the cache (use count + 1), parsed from its
    // file, or a new page from the template when there is no file. The
    // notebook keeps ownership; an evicted document is destroyed. An unsafe
    // name, or a notebook without a folder, never touches the disk.
    // A cached page whose file has changed on disk since it was read is read
    // again (the same document object). The document's source() tells how
    // its file was read: a damaged file gives what could be read, a file
    // that cannot be read at all an empty page marked unreadable.
    PageDocument& getPage(const std::u16string& pageName);
    // The cached document of that name, or null; never reads or counts.
    PageDocument* findCached(const std::u16string& pageName) const;

    // Saves edited (a page built from the editor, named as the page it
    // replaces) unless that loses something:
    // - a page whose file cannot be read is never replaced (failure);
    // - when the file is no longer what `expected` says (changed by another
    //   program or window since the caller read it), the edits go to a new
    //   page "<name> (conflict <date> <time>)" and the file is left alone;
    // - the first save over a damaged file first keeps the original beside
    //   it as ".<name>.xhtml.damaged-<date>-<time>", never listed as a page.
    // On success the cached document takes the saved content and stamp.
    PageSaveOutcome savePage(const PageDocument& edited, const FileStamp& expected);
    // "<name> (conflict YYYY-MM-DD HH.MM.SS)" for the given local time, with
    // " 2", " 3", ... before the ")" when such a page exists already.
    std::u16string conflictPageName(const std::u16string& pageName, std::time_t when) const;

    // Writes a page file atomically. Fails, with a reason naming the file,
    // for an unsafe name, when the notebook has no folder or when the file
    // cannot be written; the old file is then untouched.
    Status writePage(const std::u16string& pageName, std::string_view utf8Text);

    PageFileIterator pages() const { return PageFileIterator(*this); }

    // Where page documents report parse errors (standard output by default).
    void setDiagnostics(std::ostream& out) { diagnostics_ = &out; }
    std::ostream& diagnostics() const { return *diagnostics_; }

    // Cache inspection, for tests and the status of the program.
    std::size_t cacheSize() const { return cache_.size(); }
    bool isCached(const std::u16string& pageName) const { return cache_.count(pageName) != 0; }
    int useCount(const std::u16string& pageName) const;
    static constexpr int cacheLimit() { return 20; }

private:
    void evictOne();
    // Reads the page's file (or the template) into document.
    void load(PageDocument& document);

    std::map<std::u16string, std::unique_ptr<PageDocument>> cache_;
    std::u16string folder_;
    std::u16string name_ = u"Default";
    std::map<std::u16string, int> useCounts_;
    std::ostream* diagnostics_;
};

}  // namespace tavix
