#include "index/HtmlExport.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cstdio>
#include <locale>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "editor/LinkWords.h"
#include "index/HtmlPage.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/StyleSheet.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

constexpr std::size_t kMaxBaseBytes = 180;

char32_t codePointAt(std::u16string_view text, std::size_t& i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
        ++i;
        return 0x10000 + ((c - 0xD800) << 10) + (text[i] - 0xDC00);
    }
    return c;
}

const char kHex[] = "0123456789abcdef";

// The file name before ".html": injective until the length limit.
std::string baseName(const std::u16string& name) {
    std::string base;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char32_t c = codePointAt(name, i);
        std::string piece;
        if ((c < 0x80 && (isWordCodePoint(c) || c == u'-')) ||
            (c >= 0x80 && !(c >= 0xD800 && c <= 0xDFFF) && isWordCodePoint(c))) {
            piece = toUtf8(std::u16string_view(name).substr(c > 0xFFFF ? i - 1 : i,
                                                            c > 0xFFFF ? 2 : 1));
        } else if (c < 0x80) {
            piece = {'_', kHex[c >> 4], kHex[c & 0xF]};
        } else {
            // Fixed width, so that what follows can never extend the code.
            piece = "_u";
            for (int shift = 20; shift >= 0; shift -= 4)
                piece.push_back(kHex[(c >> shift) & 0xF]);
        }
        if (base.size() + piece.size() > kMaxBaseBytes)
            break;
        base += piece;
    }
    return base.empty() ? "_" : base;
}

// The name as a case-insensitive file system sees it, near enough: letters
// folded by the C library's tables for UTF-8, whatever the process locale.
std::u32string foldedKey(const std::string& fileName) {
    static const std::locale utf8 = [] {
        try {
            return std::locale("C.UTF-8");
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(utf8);
    const std::u16string wide = fromUtf8(fileName);
    std::u32string key;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t c = codePointAt(wide, i);
        char32_t folded = c;
        if (c < 0x80)
            folded = (c >= u'A' && c <= u'Z') ? c + 32 : c;
        else if (sizeof(wchar_t) == 4)
            folded = static_cast<char32_t>(ctype.tolower(static_cast<wchar_t>(c)));
        key.push_back(folded);
    }
    return key;
}

// Points from twips, exactly: a twip is a twentieth of a point.
std::string points(int twips) {
    const long long value = twips;
    const long long magnitude = value < 0 ? -value : value;
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(magnitude / 20);
    if (const long long rest = magnitude % 20 * 5) {  // hundredths
        text += '.';
        text += static_cast<char>('0' + rest / 10);
        if (rest % 10)
            text += static_cast<char>('0' + rest % 10);
    }
    return text + (value == 0 ? "" : "pt");
}

// A CSS string: quotes and backslashes escaped, controls as hex escapes.
std::string cssString(const std::u16string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\%x ", static_cast<unsigned>(c < 0xD800 ? c : 0xFFFD));
            out += escape;
        } else {
            out += toUtf8(std::u16string_view(text).substr(c > 0xFFFF ? i - 1 : i, c > 0xFFFF ? 2 : 1));
        }
    }
    return out + "\"";
}

struct PageJob {
    std::u16string name;
    std::string fileName;
    std::u16string title;  // as the index shows it
    enum Outcome { Pending, Written, Damaged, Unreadable, Skipped } outcome = Pending;
    std::vector<std::string> reasons;
};

// Refuses what the export must not write through or over: a symbolic link
// (it may lead out of the folder), a folder or device, a file with other
// names elsewhere.
Status checkTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return Status::success();
    if (S_ISLNK(info.st_mode))
        return Status::failure("not written: \"" + path + "\" is a symbolic link");
    if (!S_ISREG(info.st_mode))
        return Status::failure("not written: \"" + path + "\" is not a plain file");
    if (info.st_nlink > 1)
        return Status::failure("not written: \"" + path + "\" has other names (hard links)");
    return Status::success();
}

Status writeTarget(const std::string& path, std::string_view bytes) {
    if (Status refused = checkTarget(path); !refused)
        return refused;
    return writeFileAtomically(path, bytes);
}

class Exporter {
public:
    Exporter(std::u16string folder, std::vector<PageJob>& jobs, const detail::PageHrefs& hrefs,
             const std::string& out, const HtmlExportOptions& options)
        : folder_(std::move(folder)), jobs_(jobs), hrefs_(hrefs), out_(out), options_(options) {}

    // Runs the pages on worker threads while this thread reports progress.
    void run(unsigned threads) {
        std::vector<std::thread> workers;
        try {
            for (unsigned t = 0; t < threads; ++t)
                workers.emplace_back([this] { work(); });
        } catch (const std::exception&) {
            // Fewer threads than asked (or none): this one does the rest.
        }
        if (workers.empty())
            work();
        std::size_t reported = static_cast<std::size_t>(-1);
        std::unique_lock lock(mutex_);
        while (finished_ < workers.size()) {
            changed_.wait_for(lock, std::chrono::milliseconds(100));
            if (options_.progress && done_ != reported) {
                reported = done_;
                const std::size_t done = done_;
                lock.unlock();
                options_.progress(done, jobs_.size());
                lock.lock();
            }
        }
        lock.unlock();
        for (std::thread& worker : workers)
            worker.join();
        if (options_.progress)
            options_.progress(done_, jobs_.size());
    }

    bool cancelled() const { return cancelled_; }

private:
    bool stopAsked() const {
        return options_.cancel && options_.cancel->load(std::memory_order_relaxed);
    }

    void work() {
        detail::HtmlPageReader reader;
        detail::HtmlPageContent content;
        for (;;) {
            std::size_t i;
            {
                std::lock_guard lock(mutex_);
                if (stopAsked())
                    cancelled_ = true;
                if (cancelled_ || next_ >= jobs_.size())
                    break;
                i = next_++;
            }
            try {
                exportPage(jobs_[i], reader, content);
            } catch (const std::bad_alloc&) {
                jobs_[i].outcome = PageJob::Skipped;
                jobs_[i].reasons.push_back("not written: out of memory");
            } catch (const std::exception& e) {
                jobs_[i].outcome = PageJob::Skipped;
                jobs_[i].reasons.push_back(std::string("not written: ") + e.what());
            }
            std::lock_guard lock(mutex_);
            ++done_;
            changed_.notify_all();
        }
        std::lock_guard lock(mutex_);
        ++finished_;
        changed_.notify_all();
    }

    void exportPage(PageJob& job, detail::HtmlPageReader& reader, detail::HtmlPageContent& content) {
        const std::string source = toUtf8(notebookPath(job.name));
        std::string bytes;
        std::string note;
        if (Status read = readWholeFile(source, bytes); !read) {
            content = detail::HtmlPageContent{};
            job.outcome = PageJob::Unreadable;
            job.reasons.push_back("unreadable page file: " + read.message());
            note = "This page could not be read: " + read.message();
        } else {
            const ParseResult parsed = reader.read(bytes, notebookPath(job.name), content);
            job.outcome = PageJob::Written;
            if (!parsed.ok) {
                job.outcome = PageJob::Damaged;
                const std::string where = parsed.line ? " at line " + std::to_string(parsed.line) +
                                                            ", column " + std::to_string(parsed.column)
                                                      : std::string();
                job.reasons.push_back("damaged page file \"" + source + "\": " + parsed.message +
                                      where + "; exported as far as it reads");
                note = "This page could not be read completely (" + parsed.message + where +
                       "): it is shown as far as it could be read.";
            }
        }
        job.title = content.title;
        if (job.title.find_first_not_of(u" \t\r\n") == std::u16string::npos)
            job.title = job.name;
        const std::string html = detail::renderHtmlPage(content, job.title, note, hrefs_);
        if (Status written = writeTarget(out_ + "/" + job.fileName, html); !written) {
            job.outcome = PageJob::Skipped;
            job.reasons.push_back(written.message());
        }
    }

    std::u16string notebookPath(const std::u16string& name) const { return folder_ + u"/" + name + u".xhtml"; }

    const std::u16string folder_;
    std::vector<PageJob>& jobs_;
    const detail::PageHrefs& hrefs_;
    const std::string& out_;
    const HtmlExportOptions& options_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;
    std::size_t done_ = 0;
    std::size_t finished_ = 0;
    bool cancelled_ = false;
};

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

HtmlExportResult exportPages(const Notebook& notebook, const StyleSheet& styles,
                             const std::string& outFolder, const HtmlExportOptions& options) {
    HtmlExportResult result;
    if (outFolder.empty()) {
        result.status = Status::failure("no output folder given");
        return result;
    }
    if (notebook.folder().empty() || !isFolder(toUtf8(notebook.folder()))) {
        result.status = Status::failure("notebook folder not found: \"" + toUtf8(notebook.folder()) + "\"");
        return result;
    }
    // A website's folder takes the user's usual permissions (the umask),
    // not the private ones of the program's own folders.
    std::error_code made;
    std::filesystem::create_directories(outFolder, made);
    if (!isFolder(outFolder)) {
        result.status = Status::failure("cannot make the folder \"" + outFolder + "\"");
        return result;
    }

    std::vector<std::u16string> names;
    const PageIterator end;
    for (PageFileIterator it = notebook.pages(); !(it == end); ++it)
        names.push_back(it->pageName);
    const std::map<std::u16string, std::string> files = htmlFileNames(names);
    detail::PageHrefs hrefs;
    std::vector<PageJob> jobs;
    jobs.reserve(files.size());
    for (const auto& [name, file] : files) {
        hrefs.emplace(name, percentEncoded(file));
        jobs.push_back(PageJob{name, file, {}, PageJob::Pending, {}});
    }
    result.pages = jobs.size();

    if (Status css = writeTarget(outFolder + "/" + kHtmlStyleFile, styleSheetCss(styles)); !css)
        result.problems.push_back({u"", css.message()});

    Exporter exporter(notebook.folder(), jobs, hrefs, outFolder, options);
    unsigned threads = options.threads ? options.threads : 8;
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(jobs.size(), 1)));
    exporter.run(threads);

    std::vector<detail::HtmlIndexEntry> entries;
    std::vector<const PageJob*> listed;
    for (const PageJob& job : jobs) {
        switch (job.outcome) {
        case PageJob::Written: ++result.written; break;
        case PageJob::Damaged: ++result.written; ++result.damaged; break;
        case PageJob::Unreadable: ++result.written; ++result.unreadable; break;
        case PageJob::Skipped: ++result.skipped; break;
        case PageJob::Pending: break;
        }
        for (const std::string& reason : job.reasons)
            result.problems.push_back({job.name, reason});
        if (job.outcome != PageJob::Pending && job.outcome != PageJob::Skipped)
            listed.push_back(&job);
    }
    if (exporter.cancelled()) {
        result.cancelled = true;
        result.status = Status::failure("export stopped: " + std::to_string(result.written) + " of " +
                                        std::to_string(result.pages) + " pages written");
        return result;
    }
    std::stable_sort(listed.begin(), listed.end(), [](const PageJob* a, const PageJob* b) {
        return std::lexicographical_compare(
            a->title.begin(), a->title.end(), b->title.begin(), b->title.end(),
            [](char16_t x, char16_t y) {
                auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
                return lower(x) < lower(y);
            });
    });
    for (const PageJob* job : listed)
        entries.push_back({job->title, hrefs.at(job->name)});
    if (Status index = writeTarget(outFolder + "/" + kHtmlIndexFile, detail::renderHtmlIndex(entries));
        !index) {
        result.status = Status::failure(index.message());
    }
    return result;
}

}  // namespace

std::map<std::u16string, std::string> htmlFileNames(const std::vector<std::u16string>& pageNames) {
    std::vector<std::u16string> sorted = pageNames;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::set<std::u32string> taken = {foldedKey(kHtmlIndexFile)};
    std::map<std::u16string, std::string> files;
    for (const std::u16string& name : sorted) {
        const std::string base = baseName(name);
        std::string file = base + ".html";
        for (int n = 2; !taken.insert(foldedKey(file)).second; ++n)
            file = base + "-" + std::to_string(n) + ".html";
        files.emplace(name, std::move(file));
    }
    return files;
}

std::string percentEncoded(const std::string& fileName) {
    std::string out;
    for (const unsigned char c : fileName) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            static const char kUpper[] = "0123456789ABCDEF";
            out += {'%', kUpper[c >> 4], kUpper[c & 0xF]};
        }
    }
    return out;
}

std::string styleSheetCss(const StyleSheet& styles) {
    std::string css = "@charset \"utf-8\";\n/* The paragraph styles of the notebook. */\n";
    css += "body { padding: 0 " + std::to_string(std::max(styles.rightMargin(), 0)) + "px 0 " +
           std::to_string(std::max(styles.leftMargin(), 0)) + "px; }\n";
    // Blanks and tabs stand as the user typed them, as in the editor.
    css += "p, h1, h2, h3, h4, h5, h6 { white-space: pre-wrap; }\n";
    for (int i = 0; i < StyleSheet::styleCount(); ++i) {
        const ParagraphStyle& style = styles.style(i);
        css += i == 0 ? "p" : "h" + std::to_string(i);
        css += " {";
        if (!style.fontName().empty())
            css += " font-family: " + cssString(style.fontName()) + ";";
        if (style.size() > 0)
            css += " font-size: " + std::to_string(style.size()) + "pt;";
        css += style.bold() ? " font-weight: bold;" : " font-weight: normal;";
        css += style.italic() ? " font-style: italic;" : " font-style: normal;";
        css += style.underline() ? " text-decoration: underline;" : " text-decoration: none;";
        css += " margin: " + points(style.spaceBefore()) + " " + points(style.rightIndent()) + " " +
               points(style.spaceAfter()) + " " + points(style.leftIndent()) + ";";
        const int alignment = style.alignment();
        css += alignment == 1 ? " text-align: center;" : alignment == 2 ? " text-align: right;"
                                                                         : " text-align: left;";
        css += " }\n";
    }
    css += "nav.notebook, footer.keywords, div.note { font-family: sans-serif; font-size: 10pt; "
           "margin: 6pt 0; }\n";
    css += "div.note { border: 1px solid #b60; padding: 4pt; }\n";
    css += "footer.keywords .label { font-weight: bold; }\n";
    return css;
}

HtmlExportResult exportHtml(const Notebook& notebook, const StyleSheet& styles,
                            const std::string& outFolder, const HtmlExportOptions& options) {
    try {
        return exportPages(notebook, styles, outFolder, options);
    } catch (const std::bad_alloc&) {
        HtmlExportResult result;
        result.status = Status::failure("export failed: out of memory");
        return result;
    } catch (const std::exception& e) {
        HtmlExportResult result;
        result.status = Status::failure(std::string("export failed: ") + e.what());
        return result;
    }
}

}  // namespace tavix
