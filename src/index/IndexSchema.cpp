// The notebook index's schema: creating it, recognising it, and starting
// afresh over anything else found in the index file.
#include <cstdlib>

#include <sqlite3.h>

#include "index/IndexStatements.h"
#include "index/NotebookIndex.h"

namespace tavix {

namespace {

// The schema this code reads and writes; an index of any other version is
// started afresh rather than migrated (it holds nothing the files lack).
constexpr std::int64_t kSchemaVersion = 3;
constexpr const char* kSchema = R"(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE pages(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  file TEXT NOT NULL,
  title TEXT NOT NULL,
  keywords TEXT NOT NULL,
  folded TEXT NOT NULL,
  size INTEGER NOT NULL,
  mtime INTEGER NOT NULL,
  ctime INTEGER NOT NULL,
  inode INTEGER NOT NULL,
  hash INTEGER NOT NULL,
  checked INTEGER NOT NULL,
  state INTEGER NOT NULL,
  recorded INTEGER NOT NULL DEFAULT 0,
  fresh INTEGER NOT NULL DEFAULT 1,
  merged INTEGER NOT NULL DEFAULT 0);
CREATE INDEX pages_by_file ON pages(file);
CREATE TABLE links(
  target TEXT NOT NULL,
  page INTEGER NOT NULL,
  position INTEGER NOT NULL,
  PRIMARY KEY(target, page)) WITHOUT ROWID;
CREATE INDEX links_by_page ON links(page, position);
CREATE TABLE page_text(page INTEGER PRIMARY KEY, runs BLOB NOT NULL);
CREATE TABLE grams(gram INTEGER PRIMARY KEY, pages BLOB NOT NULL);
)";

}  // namespace

namespace detail {

std::string canonicalFolder(const std::string& folder) {
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        std::string path = real;
        std::free(real);
        return path;
    }
    return folder;
}

bool isDamageCode(int code) {
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

}  // namespace detail

Status NotebookIndex::prepareSchema() {
    const std::string folder = detail::canonicalFolder(folder_);
    // The usual case reads only: the index is ours and current.
    std::int64_t version = 0;
    if (Status read = db_.queryInt("PRAGMA user_version", version); !read)
        return read;
    std::int64_t tables = 0;
    if (Status read = db_.queryInt("SELECT count(*) FROM sqlite_schema", tables); !read)
        return read;
    auto isOurs = [&](bool& ours) {
        ours = false;
        sql::Statement query;
        if (Status prepared = db_.prepare("SELECT value FROM meta WHERE key = 'folder'", query);
            !prepared)
            return prepared;
        ours = query.step() && query.columnText(0) == folder;
        return query.error();
    };
    if (version == kSchemaVersion) {
        bool ours = false;
        if (Status checked = isOurs(ours); !checked)
            return checked;
        if (ours)
            return Status::success();
    }
    // Another version, another folder's index, or a new file. Decided again
    // under the write lock: another process may be doing the same.
    sql::Transaction transaction(db_);
    if (Status begun = transaction.begin(); !begun)
        return begun;
    if (Status read = db_.queryInt("PRAGMA user_version", version); !read)
        return read;
    if (version == kSchemaVersion) {
        bool ours = false;
        if (Status checked = isOurs(ours); !checked)
            return checked;
        if (ours)
            return transaction.commit();
    }
    if (Status read = db_.queryInt("SELECT count(*) FROM sqlite_schema", tables); !read)
        return read;
    // A file that held something SQLite took for an empty database (a few
    // bytes of garbage) is being started afresh too.
    if (tables > 0 || hadContent_)
        rebuilt_ = true;
    if (tables > 0) {
        std::vector<std::pair<std::string, std::string>> objects;
        sql::Statement query;
        if (Status prepared = db_.prepare(
                "SELECT type, name FROM sqlite_schema WHERE type IN ('table', 'view', 'trigger') "
                "AND name NOT LIKE 'sqlite_%'",
                query);
            !prepared)
            return prepared;
        while (query.step())
            objects.emplace_back(query.columnText(0), query.columnText(1));
        if (!query.error())
            return query.error();
        query.finalize();
        for (const auto& [type, name] : objects) {
            std::string quoted = "\"";
            for (char c : name)
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            quoted += "\"";
            const std::string drop = "DROP " + type + " IF EXISTS " + quoted;
            if (Status dropped = db_.exec(drop.c_str()); !dropped)
                return dropped;
        }
    }
    if (Status created = db_.exec(kSchema); !created)
        return created;
    const std::string setVersion = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
    if (Status set = db_.exec(setVersion.c_str()); !set)
        return set;
    sql::Statement insert;
    if (Status prepared = db_.prepare("INSERT INTO meta(key, value) VALUES('folder', ?)", insert);
        !prepared)
        return prepared;
    if (Status inserted = insert.bind(1, folder).run(); !inserted)
        return inserted;
    insert.finalize();
    return transaction.commit();
}

Status NotebookIndex::prepareStatements() {
    st_ = std::make_unique<Statements>();
    const std::pair<sql::Statement*, const char*> all[] = {
        {&st_->allRows, "SELECT id, name, size, mtime, ctime, inode, hash, checked FROM pages"},
        {&st_->upsertPage,
         "INSERT INTO pages(name, file, title, keywords, folded, size, mtime, ctime, inode, hash, "
         "checked, state) VALUES(?1, ?1 || '.xhtml', ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11) "
         "ON CONFLICT(name) DO UPDATE SET title = ?2, keywords = ?3, folded = ?4, size = ?5, "
         "mtime = ?6, ctime = ?7, inode = ?8, hash = ?9, checked = ?10, state = ?11 RETURNING id"},
        {&st_->touchPage,
         "UPDATE pages SET size = ?2, mtime = ?3, ctime = ?4, inode = ?5, checked = ?6 WHERE name "
         "= ?1"},
        {&st_->deleteLinks, "DELETE FROM links WHERE page = ?1"},
        {&st_->insertLink,
         "INSERT OR IGNORE INTO links(target, page, position) VALUES(?1, ?2, ?3)"},
        {&st_->deletePage, "DELETE FROM pages WHERE name = ?1 RETURNING id"},
        {&st_->listPages, "SELECT name, title FROM pages ORDER BY file"},
        {&st_->findPages,
         "SELECT name, title FROM pages WHERE instr(folded, ?1) > 0 ORDER BY file"},
        {&st_->linksOf,
         "SELECT target FROM links WHERE page = (SELECT id FROM pages WHERE name = ?1) "
         "ORDER BY position"},
        {&st_->backlinksOf,
         "SELECT p.name FROM links AS l JOIN pages AS p ON p.id = l.page WHERE l.target = ?1 "
         "ORDER BY p.file"},
        {&st_->hasPage, "SELECT 1 FROM pages WHERE name = ?1"},
        {&st_->pageInfo, "SELECT title, keywords, size, mtime, state FROM pages WHERE name = ?1"},
        {&st_->notRead, "SELECT name FROM pages WHERE state <> 0 ORDER BY file"},
        {&st_->upsertText, "INSERT OR REPLACE INTO page_text(page, runs) VALUES(?1, ?2)"},
        {&st_->markText, "UPDATE pages SET recorded = ?2, fresh = 1 WHERE id = ?1"},
        {&st_->deleteText, "DELETE FROM page_text WHERE page = ?1"},
        {&st_->textRows,
         "SELECT id, file, size, mtime, ctime, inode, checked, recorded, fresh FROM pages ORDER BY file"},
        {&st_->runsOf, "SELECT runs FROM page_text WHERE page = ?1"},
        {&st_->gramPages, "SELECT pages FROM grams WHERE gram = ?1"},
        {&st_->putGram, "INSERT OR REPLACE INTO grams(gram, pages) VALUES(?1, ?2)"},
        {&st_->freshText,
         "SELECT t.page, t.runs FROM pages AS p JOIN page_text AS t ON t.page = p.id "
         "WHERE p.fresh = 1 AND p.recorded = 1"},
    };
    for (const auto& [statement, text] : all)
        if (Status prepared = db_.prepare(text, *statement); !prepared)
            return prepared;
    return Status::success();
}

}  // namespace tavix
