// The text index beside the notebook index: every page's runs of text as
// the matcher sees them (PageMatcher::recordRuns), and posting lists of the
// trigrams of that text, case folded, that tell which pages may hold a
// piece of text. Searching with it: see index/TextSearch.h.
//
// Keeping the posting lists current costs nothing at a save: a page saved
// or read again is marked fresh, and fresh pages are always looked at.
// update() merges them into the lists once enough have gathered. A merge
// only adds: a page's old trigrams stay in the lists (they can only make it
// looked at in vain) until so many pages went stale that the lists are
// built again from the recorded text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "index/FileFacts.h"
#include "index/FolderWatch.h"
#include "index/IndexStatements.h"
#include "index/NotebookIndex.h"
#include "index/RunsPacking.h"
#include "index/TextSearch.h"
#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "search/RequiredText.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "store/Varint.h"

namespace tavix {

namespace {

using Gram = std::int64_t;

// Three code points, case folded, in one key (21 bits each).
Gram gramOf(wchar_t a, wchar_t b, wchar_t c) {
    auto fold = [](wchar_t x) { return static_cast<Gram>(PageMatcher::caseless(x)) & 0x1FFFFF; };
    return (fold(a) << 42) | (fold(b) << 21) | fold(c);
}

void gramsOf(std::wstring_view text, std::vector<Gram>& out) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i) out.push_back(gramOf(text[i], text[i + 1], text[i + 2]));
}

// A posting list of ascending page ids, in whichever form is shorter: a
// zero byte and base-128 varints of their differences, or a one byte, the
// first id as a varint and a bitmap of the ids from there (a trigram on most
// pages costs a bit per page rather than a byte).

std::string encodeIds(const std::vector<std::int64_t>& ids) {
    std::string deltas(1, '\0');
    deltas.reserve(ids.size() * 2 + 1);
    std::int64_t last = 0;
    for (const std::int64_t id : ids) {
        putVarint(deltas, static_cast<std::uint64_t>(id - last));
        last = id;
    }
    if (ids.empty() || static_cast<std::uint64_t>(ids.back() - ids.front()) / 8 + 12 >= deltas.size())
        return deltas;
    std::string bits(1, '\1');
    putVarint(bits, static_cast<std::uint64_t>(ids.front()));
    const std::size_t at = bits.size();
    bits.resize(at + static_cast<std::size_t>(ids.back() - ids.front()) / 8 + 1, '\0');
    for (const std::int64_t id : ids) {
        const auto offset = static_cast<std::size_t>(id - ids.front());
        bits[at + offset / 8] = static_cast<char>(bits[at + offset / 8] | (1 << (offset % 8)));
    }
    return bits;
}

// A damaged list ends where the damage starts.
void decodeIds(std::string_view bytes, std::vector<std::int64_t>& out) {
    out.clear();
    if (bytes.empty()) return;
    const bool bitmap = bytes[0] == '\1';
    std::int64_t last = 0;
    std::uint64_t value = 0;
    for (std::size_t i = 1; getVarint(bytes, i, value);) {
        last += static_cast<std::int64_t>(value);
        if (!bitmap) {
            out.push_back(last);
            continue;
        }
        for (std::size_t k = i; k < bytes.size(); ++k) {
            const auto byte = static_cast<unsigned char>(bytes[k]);
            for (unsigned bit = 0; byte && bit < 8; ++bit)
                if (byte & (1u << bit))
                    out.push_back(last + static_cast<std::int64_t>((k - i) * 8 + bit));
        }
        return;
    }
}

std::vector<std::int64_t> intersect(const std::vector<std::int64_t>& a, const std::vector<std::int64_t>& b) {
    std::vector<std::int64_t> out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::vector<std::int64_t> unite(const std::vector<std::int64_t>& a, const std::vector<std::int64_t>& b) {
    std::vector<std::int64_t> out;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// A page a search looks at, and what the matcher made of it.
struct Look {
    FoundPage entry;
    std::u16string path;
    bool fromFile = false;
    std::string packed;  // its recorded runs, when not from its file
    bool found = false;
    Status error;
    bool failedOnFile = false;
    bool stopped = false;
    std::u16string title;
    unsigned foundIn = 0;
};

// Pages decided at once: enough to keep every thread busy, few enough that
// their recorded text takes little memory.
constexpr std::size_t kLookBatch = 512;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Status NotebookIndex::mergeText(bool everything) {
    sql::Transaction transaction(db_);
    if (Status begun = transaction.begin(); !begun)
        return begun;
    std::int64_t fresh = 0;
    if (Status counted = db_.queryInt("SELECT count(*) FROM pages WHERE fresh = 1 AND recorded = 1", fresh);
        !counted)
        return counted;
    std::int64_t merged = 0;
    if (Status counted = db_.queryInt("SELECT count(*) FROM pages WHERE merged = 1", merged); !counted)
        return counted;
    // Nothing merged yet (a first build): merge whatever there is.
    // Fresh pages are merged once enough have gathered: few enough that
    // looking at them all costs a search little, many enough that a merge
    // (a rewrite of every posting list they touch) is rare.
    if (!everything && (fresh == 0 || (fresh < mergeAt_ && merged > 0)))
        return Status::success();
    std::int64_t stale = 0;
    if (Status read = db_.queryInt(
            "SELECT coalesce((SELECT CAST(value AS INTEGER) FROM meta WHERE key = 'stale grams'), 0)", stale);
        !read)
        return read;
    std::int64_t pages = 0;
    if (Status counted = db_.queryInt("SELECT count(*) FROM pages", pages); !counted)
        return counted;
    // Pages merged before and merged again left their old trigrams behind.
    std::int64_t again = 0;
    if (Status counted = db_.queryInt(
            "SELECT count(*) FROM pages WHERE fresh = 1 AND merged = 1 AND recorded = 1", again);
        !counted)
        return counted;
    stale += again;
    if (everything || stale * 4 > pages) {
        if (Status cleared = db_.exec("DELETE FROM grams; UPDATE pages SET fresh = 1, merged = 0;");
            !cleared)
            return cleared;
        stale = 0;
    }

    std::unordered_map<Gram, std::vector<std::int64_t>> added;
    std::vector<Gram> grams;
    sql::Statement& rows = st_->freshText;
    std::string runs;
    std::vector<std::int64_t> damaged;
    while (rows.step()) {
        const std::int64_t id = rows.columnInt(0);
        grams.clear();
        // A damaged row gives no trigrams: it loses its runs below, so that
        // the page is searched from its file.
        if (!detail::unpackRuns(rows.columnBlob(1), runs)) {
            damaged.push_back(id);
            continue;
        }
        PageMatcher::forEachRecordedRun(runs, [&](std::wstring_view text, unsigned) {
            gramsOf(text, grams);
        });
        std::sort(grams.begin(), grams.end());
        grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
        for (const Gram g : grams) added[g].push_back(id);
    }
    Status listed = rows.error();
    rows.reset();
    if (!listed)
        return listed;

    if (!damaged.empty()) {
        sql::Statement forget;
        if (Status prepared = db_.prepare("UPDATE pages SET recorded = 0 WHERE id = ?1", forget); !prepared)
            return prepared;
        for (const std::int64_t id : damaged)
            if (Status done = forget.bind(1, id).run(); !done)
                return done;
    }
    std::vector<std::int64_t> ids;
    for (auto& [gram, pagesWithIt] : added) {
        std::sort(pagesWithIt.begin(), pagesWithIt.end());
        sql::Statement& old = st_->gramPages;
        old.bind(1, gram);
        if (old.step()) {
            decodeIds(old.columnBlob(0), ids);
            pagesWithIt = unite(ids, pagesWithIt);
        }
        Status read = old.error();
        old.reset();
        if (!read)
            return read;
        if (Status put = st_->putGram.bind(1, gram).bindBlob(2, encodeIds(pagesWithIt)).run(); !put)
            return put;
    }
    if (Status done = db_.exec("UPDATE pages SET fresh = 0, merged = 1 WHERE fresh = 1 AND recorded = 1");
        !done)
        return done;
    sql::Statement setStale;
    if (Status prepared =
            db_.prepare("INSERT OR REPLACE INTO meta(key, value) VALUES('stale grams', ?1)", setStale);
        !prepared)
        return prepared;
    if (Status set = setStale.bind(1, std::to_string(stale)).run(); !set)
        return set;
    setStale.finalize();
    return transaction.commit();
}

Status NotebookIndex::candidatesOf(const RequiredText& required, std::vector<std::int64_t>& ids) {
    ids.clear();
    switch (required.kind) {
    case RequiredText::Anything:
        return Status::failure("nothing required");  // the caller takes every page
    case RequiredText::Literal: {
        std::vector<Gram> grams;
        std::wstring text(required.text.begin(), required.text.end());
        gramsOf(text, grams);
        std::sort(grams.begin(), grams.end());
        grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
        std::vector<std::int64_t> list;
        bool first = true;
        for (const Gram g : grams) {
            sql::Statement& query = st_->gramPages;
            query.bind(1, g);
            list.clear();
            if (query.step())
                decodeIds(query.columnBlob(0), list);
            Status read = query.error();
            query.reset();
            if (!read)
                return read;
            ids = first ? list : intersect(ids, list);
            first = false;
            if (ids.empty())
                break;
        }
        return Status::success();
    }
    case RequiredText::AllOf:
    case RequiredText::AnyOf: {
        std::vector<std::int64_t> part;
        bool first = true;
        for (const RequiredText& sub : required.parts) {
            if (Status got = candidatesOf(sub, part); !got)
                return got;
            if (first)
                ids = part;
            else
                ids = required.kind == RequiredText::AllOf ? intersect(ids, part) : unite(ids, part);
            first = false;
            if (ids.empty() && required.kind == RequiredText::AllOf)
                break;
        }
        return Status::success();
    }
    }
    return Status::success();
}

Status NotebookIndex::searchText(PageMatcher& matcher, TextSearchResult& out, bool justUpdated,
                                 FolderWatch* watch) {
    const auto start = std::chrono::steady_clock::now();
    out = TextSearchResult{};
    if (!st_)
        return Status::failure("The index is not open");
    if (Status reopened = reopenIfReplaced(); !reopened)
        return reopened;
    out.usedIndex = true;
    // A pattern that does not compile ends the search before any page, as
    // in PageSearch.
    if (Status compiled = matcher.compile(); !compiled) {
        out.error = compiled;
        out.milliseconds = msSince(start);
        return Status::success();
    }

    struct Known {
        std::string file;
        std::int64_t id = 0;
        FileFacts facts;
        std::int64_t checked = 0;
        bool recorded = false;
        bool fresh = false;
    };
    // In the listing's order (the byte order of the file names), so that
    // the two are walked side by side.
    std::vector<Known> rows;
    sql::Statement& all = st_->textRows;
    while (all.step()) {
        Known k;
        k.id = all.columnInt(0);
        k.file = all.columnText(1);
        k.facts.size = static_cast<std::uint64_t>(all.columnInt(2));
        k.facts.mtime = all.columnInt(3);
        k.facts.ctime = all.columnInt(4);
        k.facts.inode = static_cast<std::uint64_t>(all.columnInt(5));
        k.checked = all.columnInt(6);
        k.recorded = all.columnInt(7) != 0;
        k.fresh = all.columnInt(8) != 0;
        rows.push_back(std::move(k));
    }
    Status listed = all.error();
    all.reset();
    if (!listed) {
        noteDamage();
        return listed;
    }

    const RequiredText required = requiredText(matcher.pattern());
    const bool everyPage = required.kind == RequiredText::Anything;
    std::vector<std::int64_t> ids;
    if (!everyPage) {
        if (Status got = candidatesOf(required, ids); !got) {
            noteDamage();
            return got;
        }
    }

    Notebook notebook;
    notebook.setFolder(fromUtf8(folder_));
    const PageIterator end;
    // The pages to look at are gathered in listing order and decided a
    // batch at a time by as many matchers as PageSearch would use, each
    // page as matchesFile or matchesRecorded decides it; then handed out in
    // order, up to the first failure, as PageSearch does.
    std::vector<Look> batch;
    std::vector<std::unique_ptr<PageMatcher>> helpers;
    const unsigned threads = std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
    auto decideOne = [](PageMatcher& m, Look& look, std::string& runs) {
        const bool recorded = !look.fromFile && detail::unpackRuns(look.packed, runs);
        look.found = recorded ? m.matchesRecorded(runs, look.path) : m.matchesFile(look.path);
        look.error = m.error();
        look.failedOnFile = m.failedOnFile();
        look.stopped = m.stopped();
        if (look.found) {
            look.title = m.title();
            look.foundIn = m.foundIn();
        }
    };
    // False once the search has ended (a failure).
    auto decide = [&]() -> bool {
        std::atomic<std::size_t> next{0};
        auto work = [&](PageMatcher& m) {
            std::string runs;
            for (std::size_t i = next.fetch_add(1); i < batch.size(); i = next.fetch_add(1))
                decideOne(m, batch[i], runs);
        };
        if (threads > 1 && batch.size() > 8) {
            while (helpers.size() + 1 < threads) {
                auto helper = std::make_unique<PageMatcher>();
                helper->setPattern(matcher.pattern());
                helper->setMatchCase(matcher.matchCase());
                helper->setPlaces(matcher.places());
                helper->setCancelFlag(matcher.cancelFlag());
                helper->compile();  // the same text and flags compile as the first did
                helpers.push_back(std::move(helper));
            }
            std::vector<std::thread> workers;
            for (auto& helper : helpers) {
                try {
                    workers.emplace_back(work, std::ref(*helper));
                } catch (const std::system_error&) {
                    break;  // fewer threads: the others share the work
                }
            }
            work(matcher);
            for (std::thread& worker : workers)
                worker.join();
        } else {
            work(matcher);
        }
        for (Look& look : batch) {
            if (!look.error) {
                if (look.failedOnFile) {
                    out.skipped.push_back(look.error);
                    continue;
                }
                out.error = look.error;
                out.stopped = look.stopped;
                batch.clear();
                return false;
            }
            if (look.found)
                out.found.push_back({std::move(look.entry), std::move(look.path), std::move(look.title), look.foundIn});
        }
        batch.clear();
        return true;
    };
    std::size_t nextRow = 0;
    Status failed = Status::success();
    // One page of the listing, in order; unchanged(facts) tells whether the
    // file still has those facts. False once the search has ended.
    auto consider = [&](const FoundPage& entry, const std::u16string& path, const std::string& file,
                        auto&& unchanged) -> bool {
        ++out.listed;
        while (nextRow < rows.size() && rows[nextRow].file < file)
            ++nextRow;
        const Known* known = nullptr;
        if (nextRow < rows.size() && rows[nextRow].file == file && rows[nextRow].recorded) {
            const Known& k = rows[nextRow];
            // The same test as update(): a file whose stamps are those it was
            // read with, and was quiet for long enough before.
            if ((justUpdated || unchanged(k.facts)) && k.facts.settledBy(k.checked, quietNs_))
                known = &k;
        }
        Look look;
        if (known) {
            if (!everyPage && !known->fresh && !std::binary_search(ids.begin(), ids.end(), known->id))
                return true;
            sql::Statement& query = st_->runsOf;
            query.bind(1, known->id);
            look.fromFile = !query.step();
            if (!look.fromFile)
                look.packed.assign(query.columnBlob(0));
            Status read = query.error();
            query.reset();
            if (!read) {
                noteDamage();
                failed = read;
                return false;
            }
        } else {
            look.fromFile = true;
            ++out.fromFiles;
        }
        look.entry = entry;
        look.path = path;
        ++out.candidates;
        batch.push_back(std::move(look));
        return batch.size() < kLookBatch || decide();
    };
    if (watch) {
        for (const WatchedFile& f : watch->files()) {
            auto unchanged = [&](const FileFacts& was) { return f.regular && f.facts == was; };
            if (!consider(f.entry, f.path, f.file, unchanged))
                break;
        }
    } else {
        // Files are looked at by name within the folder: a search stats
        // them all, and resolving the folder's path each time would cost as
        // much.
        const int folderFd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct CloseFolder {
            int fd;
            ~CloseFolder() {
                if (fd >= 0)
                    ::close(fd);
            }
        } closeFolder{folderFd};
        std::string file;
        for (PageFileIterator it = notebook.pages(); !(it == end); ++it) {
            file = toUtf8(it->pageName);
            file += ".xhtml";
            auto unchanged = [&](const FileFacts& was) {
                FileFacts now;
                return now.readAt(folderFd, file.c_str()) && now == was;
            };
            if (!consider(*it, it.path(), file, unchanged))
                break;
        }
    }
    if (!failed)
        return failed;
    if (!batch.empty())
        decide();
    out.milliseconds = msSince(start);
    return Status::success();
}

namespace {

// The search of searchNotebook, with index (when given, open or not yet)
// kept by the caller.
TextSearchResult searchWith(std::unique_ptr<NotebookIndex>* kept, FolderWatch* watch, std::int64_t quietNs,
                            const std::string& notebookFolder, const TextSearchRequest& request,
                            const std::string& cacheFolder) {
    const auto start = std::chrono::steady_clock::now();
    PageMatcher matcher;
    matcher.setPattern(request.literal ? PageMatcher::escapeLiteral(request.pattern) : request.pattern);
    matcher.setMatchCase(request.matchCase);
    matcher.setPlaces(request.places);
    matcher.setCancelFlag(request.cancel);
    TextSearchResult result;
    if (request.useIndex) {
        std::unique_ptr<NotebookIndex> local;
        std::unique_ptr<NotebookIndex>& index = kept ? *kept : local;
        Status ready = Status::success();
        if (!index || !index->isOpen()) {
            index = std::make_unique<NotebookIndex>();
            ready = index->open(notebookFolder,
                                cacheFolder.empty() ? NotebookIndex::defaultCacheFolder() : cacheFolder);
        }
        if (quietNs >= 0)
            index->setQuietPeriod(quietNs);
        bool updated = false;
        if (ready && request.updateFirst) {
            const auto updating = std::chrono::steady_clock::now();
            const IndexUpdate update = index->update();
            ready = update.status;
            updated = update.status && !update.cancelled;
            result.updateMilliseconds = msSince(updating);
        }
        const double updating = result.updateMilliseconds;
        if (ready && index->searchText(matcher, result, updated, watch)) {
            result.updateMilliseconds = updating;
            result.milliseconds = msSince(start);
            return result;
        }
        index.reset();  // opened afresh next time
    }
    // No usable index: the full scan of the files, as it always was.
    const double updating = result.updateMilliseconds;
    result = TextSearchResult{};
    result.updateMilliseconds = updating;
    Notebook notebook;
    notebook.setFolder(fromUtf8(notebookFolder));
    PageSearch search(matcher, notebook.pages(), 0, nullptr);
    for (; !search.atEnd(); search.next())
        result.found.push_back({search.current(), search.currentPath(), search.currentTitle(), search.currentFoundIn()});
    result.error = search.error();
    result.stopped = search.stopped();
    result.skipped = search.skipped();
    result.milliseconds = msSince(start);
    return result;
}

}  // namespace

TextSearchResult searchNotebook(const std::string& notebookFolder, const TextSearchRequest& request,
                                const std::string& cacheFolder) {
    // A watch made for one search would look at every file all the same.
    return searchWith(nullptr, nullptr, -1, notebookFolder, request, cacheFolder);
}

TextSearchSession::TextSearchSession(std::string notebookFolder, std::string cacheFolder)
    : folder_(std::move(notebookFolder)), cacheFolder_(std::move(cacheFolder)) {}

TextSearchSession::~TextSearchSession() = default;

TextSearchResult TextSearchSession::search(const TextSearchRequest& request) {
    std::lock_guard<std::mutex> turn(lock_);
    ++searches_;
    if (!watch_)
        watch_ = std::make_unique<FolderWatch>(folder_);
    return searchWith(&index_, watch_.get(), quietNs_, folder_, request, cacheFolder_);
}

}  // namespace tavix
