#pragma once
// Inside the index module: what the files making up NotebookIndex share,
// among them the prepared statements of one connection.
#include "index/NotebookIndex.h"
#include "index/Sqlite.h"

namespace tavix {

namespace detail {
// The folder's real path (as given when it has none): what names the index.
std::string canonicalFolder(const std::string& folder);
// SQLite's codes for a file that is no database or a damaged one.
bool isDamageCode(int code);
}  // namespace detail

struct NotebookIndex::Statements {
    sql::Statement allRows;
    sql::Statement upsertPage;
    sql::Statement touchPage;
    sql::Statement deleteLinks;
    sql::Statement insertLink;
    sql::Statement deletePage;
    sql::Statement listPages;
    sql::Statement findPages;
    sql::Statement linksOf;
    sql::Statement backlinksOf;
    sql::Statement hasPage;
    sql::Statement pageInfo;
    sql::Statement notRead;
    // The text index (TextIndex.cpp).
    sql::Statement upsertText;
    sql::Statement markText;
    sql::Statement deleteText;
    sql::Statement textRows;
    sql::Statement runsOf;
    sql::Statement gramPages;
    sql::Statement putGram;
    sql::Statement freshText;
};

}  // namespace tavix
