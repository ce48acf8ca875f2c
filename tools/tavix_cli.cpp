// tavix-cli: lists, searches, exports, imports, renames and deletes the
// pages of a notebook without the desktop program, for scripts and the shell.
//
// Results go to standard output; every problem is one line on standard
// error, so results can be piped on safely. Exit status: 0 success, 1 when
// nothing was found, 2 on any error.
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "index/HtmlExport.h"
#include "index/NotebookIndex.h"
#include "index/PageRename.h"
#include "index/PageTrash.h"
#include "index/TextSearch.h"
#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"

namespace tavix {
namespace {

constexpr int kSuccess = 0;
constexpr int kNoMatch = 1;
constexpr int kFailure = 2;

constexpr const char* kUsage =
    R"(Usage: tavix-cli [--notebook DIR] [--settings FILE] COMMAND [ARGUMENTS]

Reads and writes the pages of a Tavix notebook.

Commands:
  list [-0]                    Print every page name, one per line, in the
                               order the notebook lists its pages. With -0
                               each name ends with a NUL byte instead.
  find [-0] [--match-case] [--literal] [--keywords-only] [--no-index] PATTERN
                               Print the names of the pages whose title, text
                               or keywords match PATTERN, a Perl-style
                               regular expression searched in each run of
                               page text and in the keywords. Letters match
                               regardless of case unless --match-case is
                               given. --literal finds PATTERN as it stands
                               ("C++" finds "C++"); --keywords-only searches
                               the keywords alone. Exit status 1 when nothing
                               matched. -0 as for list. The answer comes from
                               the notebook index where it can (the same
                               pages a scan of every file finds);
                               --no-index scans every file instead.
  export-rtf PAGE [OUT]        Convert the page's body to RTF, formatted with
                               the style sheet of the settings file, and write
                               it to OUT, or to standard output when OUT is
                               missing or "-".
  import-rtf FILE PAGE [--replace]
                               Read the RTF document FILE into the page PAGE
                               and save it. An existing page is only replaced
                               when --replace is given.
  export-html OUTDIR           Write the notebook as a website into the folder
                               OUTDIR (made when missing): one HTML file per
                               page, its link words linked to the pages that
                               exist, "index.html" listing every page by
                               title, and "style.css" with the paragraph
                               styles of the settings file. Only these files
                               are written; nothing else in OUTDIR changes.
                               A page that cannot be read in full is exported
                               as far as it reads and named on standard
                               error, and the exit status is then 2.
  pages                        Print every page's name and title, separated by
                               a tab, one page per line, in the order of list.
                               Exit status 1 when the notebook has no pages.
  links PAGE                   Print the link words of PAGE (of its text and
                               keywords, as Tavix marks them), one per line,
                               in the order they first appear. Exit status 1
                               when it has none.
  backlinks PAGE               Print the names of the pages whose text or
                               keywords link to PAGE. Exit status 1 when no
                               page does.
  rename OLD NEW               Rename the page OLD to NEW, which must be a
                               link word naming no page yet, and replace the
                               link word OLD by NEW in every page holding it,
                               all or nothing. A page that cannot be changed
                               safely (damaged, write-protected) is left as it
                               is and named on standard error.
  delete PAGE                  Move the page's file to the trash
                               ($XDG_DATA_HOME/Trash), from where a file
                               manager restores it. Links to it stay. The
                               front page cannot be deleted.

Options:
  --notebook DIR   The notebook folder (default: the folder Tavix uses,
                   $XDG_DATA_HOME/Halvorix/Tavix/Notebooks/Default).
  --settings FILE  The settings file holding the style sheet (default: the
                   file Tavix uses, $XDG_CONFIG_HOME/Halvorix/Tavix/tavix.props).
  --help           Show this text.
  --               Ends the options, for a PATTERN or PAGE starting with "--".

list, find and export-rtf never create or change any file except OUT (and
the index); import-rtf writes the one page file, export-html only into
OUTDIR. find (unless --no-index), pages, links, backlinks, rename and
delete use the notebook index Tavix keeps in $XDG_CACHE_HOME/Halvorix/Tavix
(a cache; the page files stay the truth), brought up to date with the
folder first. Every command first completes a rename that was cut short.

Output is UTF-8. Exit status: 0 on success, 1 when nothing was found,
2 on any error, with one line on standard error naming the problem.
)";

// Reports a problem on standard error; the caller returns kFailure.
int fail(const std::string& problem) {
    std::fflush(stdout);
    std::cerr << "tavix-cli: " << problem << std::endl;
    return kFailure;
}

// Names and paths as they may be shown in one line: control characters
// (a line feed would split the message) become "?".
std::string shown(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writeStdout(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) return false;
    return std::fflush(stdout) == 0;
}

// Windows-1252 for the bytes 0x80 to 0x9F; the five it leaves undefined
// keep their Latin-1 meaning so that no byte is lost.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// RTF files written by other programs are ASCII with escapes, but a file
// may carry raw text in either UTF-8 or the Windows code page.
std::u16string decodeRtf(const std::string& bytes) {
    if (isValidUtf8(bytes)) {
        std::u16string text = fromUtf8(bytes);
        if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
        return text;
    }
    std::u16string text = fromLatin1(bytes);
    for (char16_t& c : text)
        if (c >= 0x80 && c <= 0x9F) c = kCp1252High[c - 0x80];
    return text;
}

bool looksLikeRtf(const std::u16string& text) {
    const auto start = text.find_first_not_of(u" \t\r\n");
    return start != std::u16string::npos && text.compare(start, 5, u"{\\rtf") == 0;
}

struct Options {
    std::string notebookFolder;  // UTF-8
    std::string settingsFile;
    bool settingsGiven = false;
    std::string command;
    std::vector<std::string> arguments;  // after the command, "--" removed
    std::vector<std::string> flags;      // "--x" arguments after the command
};

// Splits the command line; returns an error message, or nothing.
std::optional<std::string> parseCommandLine(int argc, char** argv, Options& options, bool& help) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
            return std::nullopt;
        }
        if (arg == "--notebook" || arg == "--settings") {
            if (i + 1 >= argc) return "missing argument: " + arg + " needs a value";
            (arg == "--notebook" ? options.notebookFolder : options.settingsFile) = argv[++i];
            if (arg == "--settings") options.settingsGiven = true;
        } else if (arg.rfind("--notebook=", 0) == 0) {
            options.notebookFolder = arg.substr(11);
        } else if (arg.rfind("--settings=", 0) == 0) {
            options.settingsFile = arg.substr(11);
            options.settingsGiven = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option: " + shown(arg);
        } else {
            break;
        }
    }
    if (i >= argc) return std::string("missing argument: no command given (try --help)");
    options.command = argv[i++];
    bool optionsEnded = false;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--help") {
            help = true;
            return std::nullopt;
        } else if (!optionsEnded && ((arg.size() > 2 && arg.rfind("--", 0) == 0) || arg == "-0")) {
            options.flags.push_back(arg);
        } else {
            options.arguments.push_back(arg);
        }
    }
    return std::nullopt;
}

class Cli {
public:
    explicit Cli(Options options) : options_(std::move(options)) {
        if (options_.notebookFolder.empty())
            options_.notebookFolder = toUtf8(NotebookStore::defaultProgramFolder()) + "/Notebooks/Default";
        if (options_.settingsFile.empty())
            options_.settingsFile = toUtf8(NotebookStore::defaultDataFolder()) + "/tavix.props";
        // The notebook's folder only; the program folder and its other
        // notebooks are never touched.
        store_.notebook().setFolder(fromUtf8(options_.notebookFolder));
        store_.notebook().setDiagnostics(std::cerr);
    }

    int run() {
        const std::string& c = options_.command;
        // A rename cut short is completed before anything reads the pages.
        if (isFolder(options_.notebookFolder)) {
            const JournalRecovery recovery = recoverJournal(options_.notebookFolder, nullptr);
            if (!recovery.status) return fail(shown(recovery.status.message()));
            for (const std::string& conflict : recovery.conflicts)
                std::fprintf(stderr, "tavix-cli: not renamed: %s\n", shown(conflict).c_str());
        }
        if (c == "list") return list();
        if (c == "find") return find();
        if (c == "export-rtf") return exportRtf();
        if (c == "import-rtf") return importRtf();
        if (c == "export-html") return exportSite();
        if (c == "pages") return pages();
        if (c == "links") return links();
        if (c == "backlinks") return backlinks();
        if (c == "rename") return rename();
        if (c == "delete") return remove();
        return fail("unknown command: " + shown(c) + " (try --help)");
    }

private:
    // Checks the flags and the number of arguments of the command.
    std::optional<std::string> expect(std::size_t least, std::size_t most,
                                      std::initializer_list<std::string_view> allowedFlags,
                                      const char* missing) {
        for (const std::string& flag : options_.flags) {
            bool known = false;
            for (std::string_view allowed : allowedFlags) known = known || flag == allowed;
            if (!known) return "unknown option for " + options_.command + ": " + shown(flag);
        }
        if (options_.arguments.size() < least) return std::string("missing argument: ") + missing;
        if (options_.arguments.size() > most) return "unexpected argument: " + shown(options_.arguments[most]);
        return std::nullopt;
    }

    bool hasFlag(std::string_view flag) const {
        for (const std::string& f : options_.flags)
            if (f == flag) return true;
        return false;
    }

    std::optional<std::string> checkNotebook() const {
        if (!isValidUtf8(options_.notebookFolder)) return std::string("notebook folder name is not valid UTF-8");
        if (!isFolder(options_.notebookFolder))
            return "notebook folder not found: " + shown(options_.notebookFolder);
        return std::nullopt;
    }

    // The page name from the command line, or an error.
    std::optional<std::string> pageName(const std::string& arg, std::u16string& name) const {
        if (!isValidUtf8(arg)) return "unsafe page name: " + shown(arg) + " (not valid UTF-8)";
        name = fromUtf8(arg);
        if (!Notebook::isSafePageName(name)) return "unsafe page name: " + shown(arg) + nameRule(name);
        return std::nullopt;
    }

    // Why a name cannot be a page, as the user can act on it.
    static std::string nameRule(const std::u16string& name) {
        if (name.empty()) return " (empty)";
        if (name.front() == u'.') return " (a page name never starts with \".\")";
        if (name.size() >= 6 && name.compare(name.size() - 6, 6, u".xhtml") == 0)
            return " (a page name never ends with \".xhtml\")";
        for (const char16_t c : name) {
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return " (a page name holds no control character)";
            if (c == u'/') return " (a page name holds no \"/\")";
        }
        return " (not valid UTF-16)";
    }

    // "\n" after each name, or NUL with -0 (names never hold either).
    char nameEnd() const { return hasFlag("-0") ? '\0' : '\n'; }

    // The style sheet from the settings file. A missing default file leaves
    // the built-in styles, as in the program; a file named on the command
    // line must be readable.
    std::optional<std::string> loadStyles() {
        std::string bytes;
        if (options_.settingsGiven) {
            Status read = readWholeFile(options_.settingsFile, bytes);
            if (!read) return "unreadable file: " + shown(read.message());
        }
        store_.loadSettingsFrom(fromUtf8(options_.settingsFile));
        return std::nullopt;
    }

    int list() {
        if (auto problem = expect(0, 0, {"-0"}, "")) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        std::string out;
        const PageIterator end;
        for (PageFileIterator it = store_.notebook().pages(); !(it == end); ++it)
            out += toUtf8(it->pageName) + nameEnd();
        if (!writeStdout(out)) return fail("cannot write to standard output");
        return kSuccess;
    }

    int find() {
        if (auto problem =
                expect(1, 1, {"-0", "--match-case", "--literal", "--keywords-only", "--no-index"}, "PATTERN"))
            return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        const std::string& pattern = options_.arguments[0];
        if (!isValidUtf8(pattern)) return fail("bad pattern: not valid UTF-8");
        if (!hasFlag("--no-index")) return findIndexed(pattern);
        PageMatcher matcher;
        const std::u16string text = fromUtf8(pattern);
        matcher.setPattern(hasFlag("--literal") ? PageMatcher::escapeLiteral(text) : text);
        matcher.setMatchCase(hasFlag("--match-case"));
        matcher.setPlaces(hasFlag("--keywords-only") ? kMatchInKeywords : kMatchAnywhere);
        std::string out;
        std::size_t found = 0;
        PageSearch search(matcher, store_.notebook().pages());
        for (; !search.atEnd(); search.next(), ++found) out += toUtf8(search.current().pageName) + nameEnd();
        // A search that could not finish lists nothing: a partial list would
        // read as a complete answer.
        if (!search.error()) return fail(search.error().message());
        if (!writeStdout(out)) return fail("cannot write to standard output");
        // A hostile page is named, never silently taken as "no match".
        for (const Status& skipped : search.skipped())
            std::fprintf(stderr, "tavix-cli: skipped: %s\n", skipped.message().c_str());
        return found ? kSuccess : kNoMatch;
    }

    // find answered from the index; the same output as the scan above.
    // Pages changed since they were indexed are searched from their files,
    // and indexed once the answer is out, so that the next search need not.
    int findIndexed(const std::string& pattern) {
        TextSearchRequest request;
        request.pattern = fromUtf8(pattern);
        request.literal = hasFlag("--literal");
        request.matchCase = hasFlag("--match-case");
        request.places = hasFlag("--keywords-only") ? kMatchInKeywords : kMatchAnywhere;
        request.updateFirst = false;
        const TextSearchResult result = searchNotebook(options_.notebookFolder, request);
        std::string out;
        for (const TextSearchHit& hit : result.found) out += toUtf8(hit.page.pageName) + nameEnd();
        if (!result.error) return fail(result.error.message());
        if (!writeStdout(out)) return fail("cannot write to standard output");
        for (const Status& skipped : result.skipped)
            std::fprintf(stderr, "tavix-cli: skipped: %s\n", skipped.message().c_str());
        if (result.usedIndex && result.fromFiles > 0 && index_.open(options_.notebookFolder))
            index_.update();  // a cache: a failure here changes no answer
        return result.found.empty() ? kNoMatch : kSuccess;
    }

    int exportRtf() {
        if (auto problem = expect(1, 2, {}, "PAGE")) return fail(*problem);
        std::u16string name;
        if (auto problem = pageName(options_.arguments[0], name)) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        const std::u16string path = store_.notebook().pagePath(name);
        if (!pathExists(toUtf8(path))) return fail("unknown page: " + shown(options_.arguments[0]));
        if (!isReadableFile(toUtf8(path))) return fail("unreadable file: " + shown(toUtf8(path)));
        if (auto problem = loadStyles()) return fail(*problem);

        PageDocument page(&store_.notebook());
        page.setDiagnostics(std::cerr);
        page.setName(name);
        const ParseResult loaded = page.loadFile(path);
        RtfWriter writer(store_.styleSheet());
        writer.setDiagnostics(std::cerr);
        writer.setFontBase(0);
        writer.convert(page.body());
        const std::string rtf = toUtf8(writer.rtf());

        const bool toStdout = options_.arguments.size() < 2 || options_.arguments[1] == "-";
        if (toStdout) {
            if (!writeStdout(rtf)) return fail("cannot write to standard output");
        } else {
            Status written = writeFileAtomically(options_.arguments[1], rtf);
            if (!written) return fail(shown(written.message()));
        }
        // The program shows a damaged page as far as it could be read; the
        // export does the same, but must not pass for a complete one.
        if (!loaded.ok)
            return fail("damaged page file: " + shown(toUtf8(path)) + " (exported the part before line " +
                        std::to_string(loaded.line) + ")");
        return kSuccess;
    }

    int importRtf() {
        if (auto problem = expect(2, 2, {"--replace"}, options_.arguments.empty() ? "FILE" : "PAGE"))
            return fail(*problem);
        const std::string& file = options_.arguments[0];
        std::u16string name;
        if (auto problem = pageName(options_.arguments[1], name)) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        std::string bytes;
        if (Status read = readWholeFile(file, bytes); !read) return fail("unreadable file: " + shown(read.message()));
        const std::u16string rtf = decodeRtf(bytes);
        if (!looksLikeRtf(rtf)) return fail("not an RTF document: " + shown(file));
        const std::u16string path = store_.notebook().pagePath(name);
        if (pathExists(toUtf8(path)) && !hasFlag("--replace"))
            return fail("page already exists: " + shown(options_.arguments[1]) + " (use --replace to overwrite it)");
        if (auto problem = loadStyles()) return fail(*problem);

        PageDocument page(&store_.notebook());
        page.setDiagnostics(std::cerr);
        page.setName(name);
        // The title is held as it stands in the file, escaped.
        page.setTitle(escapeCharData(Notebook::titleFromName(name)));
        RtfReader reader(store_.styleSheet());
        reader.setDiagnostics(std::cerr);
        reader.setInput(rtf);
        reader.run(page);
        Status saved = page.save();
        if (!saved) return fail(shown(saved.message()));
        return kSuccess;
    }

    int exportSite() {
        if (auto problem = expect(1, 1, {}, "OUTDIR")) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        if (auto problem = loadStyles()) return fail(*problem);
        const HtmlExportResult result =
            exportHtml(store_.notebook(), store_.styleSheet(), options_.arguments[0]);
        for (const HtmlExportProblem& problem : result.problems) {
            const std::string page = problem.page.empty() ? "" : shown(toUtf8(problem.page)) + ": ";
            std::fprintf(stderr, "tavix-cli: %s%s\n", page.c_str(), shown(problem.reason).c_str());
        }
        if (!result.status) return fail(shown(result.status.message()));
        return result.complete() ? kSuccess : kFailure;
    }

    // The index, brought up to date with the folder when update is set.
    std::optional<std::string> openIndex(bool update) {
        if (Status opened = index_.open(options_.notebookFolder); !opened)
            return shown(opened.message());
        if (!update) return std::nullopt;
        const IndexUpdate updated = index_.update();
        if (!updated.status) return shown(updated.status.message());
        return std::nullopt;
    }

    int printLines(const std::vector<std::u16string>& lines) {
        std::string out;
        for (const std::u16string& line : lines) out += toUtf8(line) + "\n";
        if (!writeStdout(out)) return fail("cannot write to standard output");
        return lines.empty() ? kNoMatch : kSuccess;
    }

    int pages() {
        if (auto problem = expect(0, 0, {}, "")) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        if (auto problem = openIndex(true)) return fail(*problem);
        std::vector<IndexedPage> all;
        if (Status listed = index_.pages(all); !listed) return fail(shown(listed.message()));
        std::string out;
        for (const IndexedPage& page : all) {
            // A title is one field of one line whatever it holds.
            std::string title = toUtf8(page.title);
            for (char& ch : title)
                if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
            out += toUtf8(page.name) + "\t" + title + "\n";
        }
        if (!writeStdout(out)) return fail("cannot write to standard output");
        return all.empty() ? kNoMatch : kSuccess;
    }

    int links() {
        if (auto problem = expect(1, 1, {}, "PAGE")) return fail(*problem);
        std::u16string name;
        if (auto problem = pageName(options_.arguments[0], name)) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        if (auto problem = openIndex(true)) return fail(*problem);
        bool exists = false;
        if (Status found = index_.hasPage(name, exists); !found)
            return fail(shown(found.message()));
        if (!exists) return fail("unknown page: " + shown(options_.arguments[0]));
        std::vector<std::u16string> words;
        if (Status found = index_.linksOf(name, words); !found) return fail(shown(found.message()));
        return printLines(words);
    }

    int backlinks() {
        if (auto problem = expect(1, 1, {}, "PAGE")) return fail(*problem);
        std::u16string name;
        if (auto problem = pageName(options_.arguments[0], name)) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        if (auto problem = openIndex(true)) return fail(*problem);
        std::vector<std::u16string> from;
        if (Status found = index_.backlinksOf(name, from); !found)
            return fail(shown(found.message()));
        return printLines(from);
    }

    int rename() {
        if (auto problem = expect(2, 2, {}, options_.arguments.empty() ? "OLD" : "NEW"))
            return fail(*problem);
        std::u16string from;
        std::u16string to;
        if (auto problem = pageName(options_.arguments[0], from)) return fail(*problem);
        if (!isValidUtf8(options_.arguments[1]))
            return fail("unsafe page name: " + shown(options_.arguments[1]));
        to = fromUtf8(options_.arguments[1]);
        if (auto problem = checkNotebook()) return fail(*problem);
        if (auto problem = openIndex(false)) return fail(*problem);
        const RenameOutcome outcome = renamePage(options_.notebookFolder, index_, from, to);
        if (!outcome.status) return fail(shown(outcome.status.message()));
        for (const RenameOutcome::Left& left : outcome.leftAlone)
            std::fprintf(stderr, "tavix-cli: not renamed in %s: %s\n",
                         shown(toUtf8(left.page)).c_str(), shown(left.why).c_str());
        return kSuccess;
    }

    int remove() {
        if (auto problem = expect(1, 1, {}, "PAGE")) return fail(*problem);
        std::u16string name;
        if (auto problem = pageName(options_.arguments[0], name)) return fail(*problem);
        if (auto problem = checkNotebook()) return fail(*problem);
        if (auto problem = openIndex(false)) return fail(*problem);
        const TrashedPage trashed = deletePage(options_.notebookFolder, &index_, name);
        if (!trashed.status) return fail(shown(trashed.status.message()));
        return kSuccess;
    }

    Options options_;
    NotebookStore store_;
    NotebookIndex index_;
};

}  // namespace
}  // namespace tavix

int main(int argc, char** argv) {
    using namespace tavix;
    try {
        Options options;
        bool help = false;
        if (auto problem = parseCommandLine(argc, argv, options, help)) return fail(*problem);
        if (help) return writeStdout(kUsage) ? kSuccess : kFailure;
        Cli cli(std::move(options));
        return cli.run();
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& e) {
        return fail(std::string("unexpected failure: ") + e.what());
    }
}
