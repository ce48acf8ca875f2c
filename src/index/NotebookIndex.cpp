#include "index/NotebookIndex.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <future>
#include <unordered_map>

#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "index/FileFacts.h"
#include "index/IndexStatements.h"
#include "index/PageText.h"
#include "index/RunsPacking.h"
#include "search/PageMatcher.h"
#include "store/FileStamp.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

constexpr int kBusyMs = 10000;
// Pages read between two commits. Readers never wait for a commit (WAL),
// and another writer waits for one batch at most (a fraction of a second);
// smaller batches would write the same link-table pages to the WAL again at
// every commit, which made a first build three times slower.
constexpr std::size_t kBatch = 1024;

std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool isFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

std::string folded(const std::u16string& name, const std::u16string& title) {
    return toUtf8(foldCase(name)) + "\n" + toUtf8(foldCase(title));
}

}  // namespace

// ---------------------------------------------------------------- state

struct NotebookIndex::Row {
    std::int64_t id = 0;
    FileFacts facts;
    std::uint64_t hash = 0;
    std::int64_t checked = 0;
    bool seen = false;
};

// One file read for the index: either its whole content (full) or only new
// times for content the index already has (a touch, a copy of the same bytes).
struct NotebookIndex::Parsed {
    std::string name;
    FileFacts facts;
    std::int64_t checked = 0;
    std::uint64_t hash = 0;
    bool full = true;
    IndexedPageInfo::State state = IndexedPageInfo::Read;
    std::string title;
    std::string keywords;
    std::string folded;
    std::vector<std::string> links;
    // The runs of text the matcher searches (see PageMatcher::recordRuns),
    // packed; recorded false: the page is searched from its file.
    bool recorded = false;
    std::string runs;
};

// Reads and parses files for the index; one per thread.
namespace {

struct Reader {
    PageTextReader pages;
    PageMatcher runs;

    template <typename ParsedT>
    void read(const std::string& path, ParsedT& out, std::uint64_t knownHash, bool knownOk) {
        out.checked = nowNs();
        std::string bytes;
        if (Status read = readWholeFile(path, bytes); !read) {
            out.recorded = false;
            out.runs.clear();
            out.state = IndexedPageInfo::Unreadable;
            out.hash = 0;
            out.full = true;
            out.folded = folded(fromUtf8(out.name), u"");
            return;
        }
        out.hash = contentHash(bytes);
        if (knownOk && out.hash == knownHash) {
            out.full = false;
            return;
        }
        parse(bytes, path, out);
    }

    template <typename ParsedT>
    void parse(std::string_view bytes, const std::string& path, ParsedT& out) {
        PageText text;
        const ParseResult result = pages.read(bytes, fromUtf8(path), text);
        fill(text, result.ok, out);
        record(bytes, path, out);
    }

    template <typename ParsedT>
    void record(std::string_view bytes, const std::string& path, ParsedT& out) {
        std::string recorded;
        out.recorded = runs.recordRuns(bytes, fromUtf8(path), recorded);
        out.runs = out.recorded ? detail::packRuns(recorded) : std::string();
    }

    template <typename ParsedT>
    static void fill(const PageText& text, bool complete, ParsedT& out) {
        out.full = true;
        out.state = complete ? IndexedPageInfo::Read : IndexedPageInfo::Damaged;
        out.title = toUtf8(text.title);
        out.keywords = toUtf8(text.keywords);
        out.folded = folded(fromUtf8(out.name), text.title);
        out.links.clear();
        for (const std::u16string& word : linkWordsOf(text))
            out.links.push_back(toUtf8(word));
    }
};

}  // namespace

NotebookIndex::NotebookIndex() = default;

NotebookIndex::~NotebookIndex() {
    st_.reset();
}

std::string NotebookIndex::defaultCacheFolder() {
    return cacheHome() + "/Halvorix/Tavix";
}

std::string NotebookIndex::indexPathFor(const std::string& notebookFolder,
                                        const std::string& cacheFolder) {
    static const char digits[] = "0123456789abcdef";
    std::uint64_t hash = contentHash(detail::canonicalFolder(notebookFolder));
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        hex[static_cast<std::size_t>(i)] = digits[hash & 0xF];
    return cacheFolder + "/notebook-" + hex + ".sqlite";
}

Status NotebookIndex::open(const std::string& notebookFolder, const std::string& cacheFolder) {
    st_.reset();
    db_.close();
    rebuilt_ = false;
    damaged_ = false;
    folder_ = notebookFolder;
    while (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    Status opened = Status::failure("no cache folder");
    if (!cacheFolder.empty() && ensureFolderPath(cacheFolder)) {
        databasePath_ = indexPathFor(folder_, cacheFolder);
        bool damaged = false;
        opened = openAt(databasePath_, damaged);
        // Not a database at all (garbage, a truncated copy): start over.
        if (!opened && damaged)
            opened = startAfresh();
    }
    if (!opened) {
        // The cache is a convenience: without a usable folder the index
        // still works, in memory, for as long as this object lives.
        databasePath_ = ":memory:";
        bool damaged = false;
        opened = openAt(databasePath_, damaged);
    }
    return opened;
}

Status NotebookIndex::openAt(const std::string& path, bool& damaged) {
    st_.reset();
    damaged = false;
    struct stat before {};
    hadContent_ = path != ":memory:" && ::stat(path.c_str(), &before) == 0 && before.st_size > 0;
    if (Status opened = db_.open(path, kBusyMs); !opened)
        return opened;
    // synchronous=NORMAL: a power cut may lose the last commits of a cache,
    // never its consistency. 64 MB of page cache hold the index of some
    // 50,000 pages, so a build does not read its own pages back again.
    // 16 KB pages (for a new file; an existing one keeps its own): a page's
    // recorded text, some 2 KB, would leave half of every 4 KB page empty.
    Status ready = db_.exec(
        "PRAGMA page_size=16384; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
        "PRAGMA temp_store=MEMORY; PRAGMA cache_size=-65536;");
    if (ready)
        ready = prepareSchema();
    if (ready)
        ready = prepareStatements();
    if (!ready) {
        damaged = detail::isDamageCode(db_.lastCode());
        st_.reset();
        db_.close();
        return ready;
    }
    struct stat info {};
    databaseInode_ = ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_ino) : 0;
    return Status::success();
}

Status NotebookIndex::startAfresh() {
    st_.reset();
    db_.close();
    damaged_ = false;
    if (databasePath_ != ":memory:")
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((databasePath_ + suffix).c_str());
    bool damaged = false;
    Status opened = openAt(databasePath_, damaged);
    if (opened)
        rebuilt_ = true;
    return opened;
}

Status NotebookIndex::reopenIfReplaced() {
    if (databasePath_ == ":memory:")
        return Status::success();
    // Deleted, or started afresh by another process: this connection would
    // go on with a file nobody else sees.
    struct stat info {};
    const bool same = ::stat(databasePath_.c_str(), &info) == 0 &&
                      static_cast<std::uint64_t>(info.st_ino) == databaseInode_;
    if (same)
        return Status::success();
    bool damaged = false;
    Status opened = openAt(databasePath_, damaged);
    if (!opened && damaged)
        opened = startAfresh();
    return opened;
}

bool NotebookIndex::noteDamage() {
    if (db_.isOpen() && detail::isDamageCode(db_.lastCode()))
        damaged_ = true;
    return damaged_;
}

Status NotebookIndex::store(const std::vector<Parsed>& batch) {
    if (batch.empty())
        return Status::success();
    sql::Transaction transaction(db_);
    if (Status begun = transaction.begin(); !begun)
        return begun;
    for (const Parsed& page : batch) {
        if (!page.full) {
            Status touched = st_->touchPage.bind(1, page.name)
                                 .bind(2, static_cast<std::int64_t>(page.facts.size))
                                 .bind(3, page.facts.mtime)
                                 .bind(4, page.facts.ctime)
                                 .bind(5, static_cast<std::int64_t>(page.facts.inode))
                                 .bind(6, page.checked)
                                 .run();
            if (!touched)
                return touched;
            continue;
        }
        sql::Statement& upsert = st_->upsertPage;
        upsert.bind(1, page.name)
            .bind(2, page.title)
            .bind(3, page.keywords)
            .bind(4, page.folded)
            .bind(5, static_cast<std::int64_t>(page.facts.size))
            .bind(6, page.facts.mtime)
            .bind(7, page.facts.ctime)
            .bind(8, static_cast<std::int64_t>(page.facts.inode))
            .bind(9, static_cast<std::int64_t>(page.hash))
            .bind(10, page.checked)
            .bind(11, static_cast<std::int64_t>(page.state));
        if (!upsert.step()) {
            Status failed = upsert.error() ? Status::failure("Index: no page id") : upsert.error();
            upsert.reset();
            return failed;
        }
        const std::int64_t id = upsert.columnInt(0);
        upsert.reset();
        if (Status cleared = st_->deleteLinks.bind(1, id).run(); !cleared)
            return cleared;
        Status text = page.recorded ? st_->upsertText.bind(1, id).bindBlob(2, page.runs).run()
                                    : st_->deleteText.bind(1, id).run();
        if (text)
            text = st_->markText.bind(1, id).bind(2, page.recorded ? 1 : 0).run();
        if (!text)
            return text;
        std::int64_t position = 0;
        for (const std::string& target : page.links)
            if (Status added =
                    st_->insertLink.bind(1, target).bind(2, id).bind(3, position++).run();
                !added)
                return added;
    }
    return transaction.commit();
}

IndexUpdate NotebookIndex::update(const IndexProgressCallback& progress) {
    IndexUpdate outcome;
    if (!isOpen()) {
        outcome.status = Status::failure("The index is not open");
        return outcome;
    }
    if (Status reopened = reopenIfReplaced(); !reopened) {
        outcome.status = reopened;
        return outcome;
    }
    if (damaged_) {
        if (Status fresh = startAfresh(); !fresh) {
            outcome.status = fresh;
            return outcome;
        }
    }
    if (!isFolder(folder_)) {
        outcome.status = Status::failure("Cannot list the notebook folder \"" + folder_ + "\"");
        return outcome;
    }

    std::unordered_map<std::string, Row> rows;
    sql::Statement& all = st_->allRows;
    while (all.step()) {
        Row row;
        row.id = all.columnInt(0);
        row.facts.size = static_cast<std::uint64_t>(all.columnInt(2));
        row.facts.mtime = all.columnInt(3);
        row.facts.ctime = all.columnInt(4);
        row.facts.inode = static_cast<std::uint64_t>(all.columnInt(5));
        row.hash = static_cast<std::uint64_t>(all.columnInt(6));
        row.checked = all.columnInt(7);
        rows.emplace(all.columnText(1), row);
    }
    Status listed = all.error();
    all.reset();
    if (!listed) {
        noteDamage();
        outcome.status = listed;
        return outcome;
    }

    struct Work {
        std::string name;
        std::string path;
        FileFacts facts;
        const Row* known = nullptr;
    };
    std::vector<Work> work;
    Notebook notebook;
    notebook.setFolder(fromUtf8(folder_));
    const PageIterator end;
    for (PageFileIterator it = notebook.pages(); !(it == end); ++it) {
        Work item;
        item.name = toUtf8(it->pageName);
        item.path = toUtf8(it.path());
        if (!item.facts.read(item.path))
            continue;  // gone since the listing, or no longer a file
        ++outcome.listed;
        const auto known = rows.find(item.name);
        if (known != rows.end()) {
            Row& row = known->second;
            row.seen = true;
            if (row.facts == item.facts && row.facts.settledBy(row.checked, quietNs_))
                continue;
            item.known = &row;
        }
        work.push_back(std::move(item));
    }

    std::vector<std::string> gone;
    for (const auto& [name, row] : rows)
        if (!row.seen)
            gone.push_back(name);
    if (!gone.empty()) {
        sql::Transaction transaction(db_);
        Status removed = transaction.begin();
        for (std::size_t i = 0; removed && i < gone.size(); ++i) {
            sql::Statement& remove = st_->deletePage;
            remove.bind(1, gone[i]);
            if (remove.step()) {
                const std::int64_t id = remove.columnInt(0);
                remove.reset();
                removed = st_->deleteLinks.bind(1, id).run();
                if (removed)
                    removed = st_->deleteText.bind(1, id).run();
            } else {
                removed = remove.error();
                remove.reset();
            }
        }
        if (removed)
            removed = transaction.commit();
        if (!removed) {
            noteDamage();
            outcome.status = removed;
            return outcome;
        }
        outcome.removed = gone.size();
    }

    // Files are read and parsed a batch ahead, on a second thread, while
    // this one stores the batch before: parsing and SQLite's writing take
    // about as long as each other.
    Reader readers[2];
    auto readBatch = [&](Reader& reader, std::size_t from) {
        std::vector<Parsed> batch;
        for (std::size_t i = from; i < std::min(from + kBatch, work.size()); ++i) {
            Parsed parsed;
            parsed.name = work[i].name;
            parsed.facts = work[i].facts;
            const Row* known = work[i].known;
            reader.read(work[i].path, parsed, known ? known->hash : 0, known != nullptr);
            batch.push_back(std::move(parsed));
        }
        return batch;
    };
    IndexProgress step;
    step.total = work.size();
    std::future<std::vector<Parsed>> ahead;
    if (!work.empty())
        ahead = std::async(std::launch::async, readBatch, std::ref(readers[0]), 0);
    for (std::size_t from = 0, turn = 1; from < work.size(); from += kBatch, ++turn) {
        std::vector<Parsed> batch = ahead.get();
        if (from + kBatch < work.size())
            ahead = std::async(std::launch::async, readBatch, std::ref(readers[turn % 2]),
                               from + kBatch);
        // Progress is told page by page; a cancel keeps the pages before it.
        std::size_t keep = 0;
        bool goOn = true;
        while (keep < batch.size() && goOn) {
            ++keep;
            ++step.done;
            goOn = !progress || progress(step);
        }
        batch.resize(keep);
        outcome.read += keep;
        if (Status stored = store(batch); !stored) {
            noteDamage();
            outcome.status = stored;
            return outcome;  // the batch being read ahead is waited for
        }
        if (!goOn) {
            outcome.cancelled = true;
            break;
        }
    }
    if (!outcome.cancelled) {
        if (Status merged = mergeText(false); !merged) {
            noteDamage();
            outcome.status = merged;
        }
    }
    return outcome;
}

Status NotebookIndex::pagesSaved(const std::vector<SavedPage>& saved) {
    if (!isOpen())
        return Status::failure("The index is not open");
    if (Status reopened = reopenIfReplaced(); !reopened)
        return reopened;
    Reader reader;
    std::vector<Parsed> batch;
    std::vector<std::string> gone;
    for (const SavedPage& page : saved) {
        if (!Notebook::isSafePageName(page.name))
            return Status::failure("Not a page name: \"" + toUtf8(page.name) + "\"");
        Parsed parsed;
        parsed.name = toUtf8(page.name);
        const std::string path = folder_ + "/" + parsed.name + ".xhtml";
        if (!parsed.facts.read(path)) {
            gone.push_back(parsed.name);
            continue;
        }
        // The bytes given are the file's unless someone replaced it since.
        if (page.bytes && page.bytes->size() == parsed.facts.size) {
            parsed.checked = nowNs();
            parsed.hash = contentHash(*page.bytes);
            if (page.shown) {
                Reader::fill(*page.shown, true, parsed);
                reader.record(*page.bytes, path, parsed);
            } else
                reader.parse(*page.bytes, path, parsed);
        } else {
            reader.read(path, parsed, 0, false);
        }
        batch.push_back(std::move(parsed));
    }
    Status result = store(batch);
    for (std::size_t i = 0; result && i < gone.size(); ++i) {
        sql::Statement& remove = st_->deletePage;
        remove.bind(1, gone[i]);
        if (remove.step()) {
            const std::int64_t id = remove.columnInt(0);
            remove.reset();
            result = st_->deleteLinks.bind(1, id).run();
            if (result)
                result = st_->deleteText.bind(1, id).run();
        } else {
            result = remove.error();
            remove.reset();
        }
    }
    noteDamage();
    return result;
}

Status NotebookIndex::pageSaved(const std::u16string& name, std::string_view fileBytes) {
    if (Notebook::isSafePageName(name) && !pathExists(folder_ + "/" + toUtf8(name) + ".xhtml"))
        return Status::failure("The page file of \"" + toUtf8(name) + "\" is missing");
    SavedPage page;
    page.name = name;
    page.bytes = std::string(fileBytes);
    return pagesSaved({page});
}

Status NotebookIndex::refreshPage(const std::u16string& name) {
    SavedPage page;
    page.name = name;
    return pagesSaved({page});
}

}  // namespace tavix
