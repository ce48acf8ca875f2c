#pragma once
// A thin owner of SQLite connections and prepared statements: closes and
// finalises on destruction, turns result codes into a Status with SQLite's
// own message, and keeps the C API out of the index's interface.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/Status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tavix::sql {

class Statement;

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating when missing) the database file at path, UTF-8, or a
    // private in-memory database for ":memory:". Statements wait up to
    // busyMs for another connection's write lock before they fail. Any
    // connection held before is closed first. SQLite reads nothing at open:
    // a file that is no database shows only at the first statement.
    Status open(const std::string& path, int busyMs);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // Runs one or more statements without results.
    Status exec(const char* sql);
    // Prepares a statement meant to be reused (persistent); on failure the
    // statement stays empty and the status says why.
    Status prepare(const char* sql, Statement& statement);
    // The integer in the first column of the first row of sql.
    Status queryInt(const char* sql, std::int64_t& value);

    // The primary result code of the last failure on this connection (for
    // telling a damaged file from a busy one), and its message.
    int lastCode() const;
    Status failure(std::string_view what) const;

    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement. bind* and column* take SQLite's indexes (bind from
// 1, columns from 0). Text is UTF-8; bound text is copied.
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isPrepared() const { return stmt_ != nullptr; }
    void finalize();

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    // Bytes as a BLOB (an empty one, not NULL, for no bytes); NULL.
    Statement& bindBlob(int index, std::string_view bytes);
    Statement& bindNull(int index);
    // Steps once: true while there is a row; false when done or on failure,
    // which error() then tells (success when simply done).
    bool step();
    // Steps to the end (for statements without rows).
    Status run();
    const Status& error() const { return error_; }
    // Clears the bindings and rewinds, ready for the next use.
    void reset();

    std::int64_t columnInt(int column) const;
    std::string columnText(int column) const;
    // The column's bytes, valid until the next step, reset or finalize.
    std::string_view columnBlob(int column) const;
    bool columnIsNull(int column) const;

private:
    friend class Database;
    sqlite3_stmt* stmt_ = nullptr;
    Database* owner_ = nullptr;
    Status error_;
};

// Keeps a write transaction open for its lifetime: BEGIN IMMEDIATE (waiting
// for other writers as the busy timeout allows) on begin, ROLLBACK on
// destruction unless commit() succeeded.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) {}
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    Status begin();
    Status commit();

private:
    Database& db_;
    bool open_ = false;
};

}  // namespace tavix::sql
