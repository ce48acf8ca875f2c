#pragma once
// The notebook as a static website, for reading it without Tavix: one HTML
// file per page (link words that name a page become links to its file), one
// CSS file holding the seven paragraph styles, and "index.html" listing
// every page by title.
//
// The files are HTML5 in its XML form, so that browsers and XML tools both
// read them. File names come from page names through htmlFileNames: nothing
// a page name holds can lead a file out of the output folder or make two
// pages share one file, on case-insensitive file systems too. The export
// only adds and replaces its own files: nothing else in the output folder is
// removed or changed, and a name there that is not a plain file (a link, a
// folder) is left alone and reported.
//
// Pages are read straight from their files; nothing in the notebook is ever
// written. A page that reads only in part is exported as far as it reads,
// with a note on it; one that cannot be read at all gets a page saying so,
// so that links to it still lead somewhere.
#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "store/Status.h"

namespace tavix {

class Notebook;
class StyleSheet;

// The files the export writes besides the pages.
inline constexpr char kHtmlIndexFile[] = "index.html";
inline constexpr char kHtmlStyleFile[] = "style.css";

struct HtmlExportProblem {
    std::u16string page;  // empty for a problem of the export as a whole
    std::string reason;   // UTF-8, naming the file
};

struct HtmlExportResult {
    // Failure: the export could not be done or was stopped, and why. Pages
    // with problems do not make it fail; they are counted and listed.
    Status status;
    bool cancelled = false;
    std::size_t pages = 0;       // pages in the notebook
    std::size_t written = 0;     // page files written (damaged ones included)
    std::size_t damaged = 0;     // written from what could be read, with a note
    std::size_t unreadable = 0;  // written as a note only: the page could not be read
    std::size_t skipped = 0;     // not written (see problems)
    std::vector<HtmlExportProblem> problems;

    // Every page written complete and the index with them.
    bool complete() const { return status.ok() && problems.empty(); }
};

struct HtmlExportOptions {
    // Called on the calling thread now and then with the pages done so far,
    // and once at the end of the pages.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Set from any thread to stop the export after the pages in hand; what
    // was written stays.
    const std::atomic<bool>* cancel = nullptr;
    // Pages written at once (the writes wait on the disk); 0 for the default.
    unsigned threads = 0;
};

// Writes the notebook's pages, styled by styles, into outFolder (UTF-8),
// creating the folder when it does not exist. Never throws.
HtmlExportResult exportHtml(const Notebook& notebook, const StyleSheet& styles,
                            const std::string& outFolder, const HtmlExportOptions& options = {});

// The file name (UTF-8, no folder) of each page: letters and digits of any
// script, and "-", as they stand; every other character as "_" and its
// code in hexadecimal; at most 180 bytes. Names that would still meet,
// letter case aside, or meet "index.html", get "-2", "-3"... in the order of
// the names. The same names always give the same files.
std::map<std::u16string, std::string> htmlFileNames(const std::vector<std::u16string>& pageNames);

// A file name as it stands in an href: every byte outside A-Z a-z 0-9
// "-._~" percent-encoded.
std::string percentEncoded(const std::string& fileName);

// The CSS of the seven paragraph styles (font, size, bold, italic,
// underline, spacing, indents, alignment; twips as points).
std::string styleSheetCss(const StyleSheet& styles);

}  // namespace tavix
