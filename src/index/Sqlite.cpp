#include "index/Sqlite.h"

#include <sqlite3.h>

namespace tavix::sql {

Database::~Database() {
    close();
}

Status Database::open(const std::string& path, int busyMs) {
    close();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        Status failed = Status::failure("Cannot open the index \"" + path +
                                        "\": " + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)));
        close();
        return failed;
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyMs);
    return Status::success();
}

void Database::close() {
    if (db_) {
        // Statements are owned elsewhere and finalised before; _v2 would
        // keep a connection alive behind a forgotten one instead of leaking.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

Status Database::exec(const char* sql) {
    if (!db_)
        return Status::failure("The index is not open");
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure("Index");
    return Status::success();
}

Status Database::prepare(const char* sql, Statement& statement) {
    statement.finalize();
    if (!db_)
        return Status::failure("The index is not open");
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement.stmt_, nullptr) !=
        SQLITE_OK) {
        statement.stmt_ = nullptr;
        return failure("Index");
    }
    statement.owner_ = this;
    return Status::success();
}

Status Database::queryInt(const char* sql, std::int64_t& value) {
    Statement statement;
    if (Status prepared = prepare(sql, statement); !prepared)
        return prepared;
    if (!statement.step())
        return statement.error() ? Status::failure("Index: no result") : statement.error();
    value = statement.columnInt(0);
    return Status::success();
}

int Database::lastCode() const {
    return db_ ? (sqlite3_errcode(db_) & 0xFF) : SQLITE_MISUSE;
}

Status Database::failure(std::string_view what) const {
    return Status::failure(std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "not open"));
}

Statement::~Statement() {
    finalize();
}

void Statement::finalize() {
    if (stmt_)
        sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

Statement& Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, static_cast<sqlite3_int64>(value));
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    // A non-null pointer even for empty text: null would bind NULL.
    sqlite3_bind_text64(stmt_, index, text.empty() ? "" : text.data(), text.size(),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

bool Statement::step() {
    if (!stmt_) {
        error_ = Status::failure("Index: statement not prepared");
        return false;
    }
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        error_ = Status::success();
        return true;
    }
    error_ = rc == SQLITE_DONE ? Status::success() : owner_->failure("Index");
    return false;
}

Status Statement::run() {
    while (step()) {
    }
    Status result = error_;
    reset();
    return result;
}

void Statement::reset() {
    if (!stmt_)
        return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::columnInt(int column) const {
    return static_cast<std::int64_t>(sqlite3_column_int64(stmt_, column));
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
    sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
}

std::string_view Statement::columnBlob(int column) const {
    const void* bytes = sqlite3_column_blob(stmt_, column);
    if (!bytes) return {};
    return {static_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

bool Statement::columnIsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::string Statement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                : std::string();
}

Transaction::~Transaction() {
    if (open_)
        db_.exec("ROLLBACK");
}

Status Transaction::begin() {
    Status begun = db_.exec("BEGIN IMMEDIATE");
    open_ = begun.ok();
    return begun;
}

Status Transaction::commit() {
    Status committed = db_.exec("COMMIT");
    if (committed)
        open_ = false;
    return committed;
}

}  // namespace tavix::sql
