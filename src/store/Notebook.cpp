#include "store/Notebook.h"

#include <algorithm>
#include <climits>
#include <iostream>

#include "formats/PageDocument.h"
#include "formats/XmlSupport.h"
#include "store/FileSystem.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

constexpr std::string_view kPageSuffix = ".xhtml";

bool hasUnpairedSurrogate(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
            else
                return true;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// The name as it can be shown in a message: control characters (a NUL
// would cut the message short) become "?".
std::string shownName(const std::u16string& pageName) {
    std::string shown = toUtf8(pageName);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return shown;
}

}  // namespace

// ---------------------------------------------------------------- iterator

PageFileIterator::PageFileIterator(const Notebook& notebook)
    : folder_(notebook.folder()), notebookName_(notebook.name()) {
    if (!folder_.empty()) {
        files_ = listRegularFiles(toUtf8(folder_));
        // Byte order of the UTF-8 names: the same order on every run and
        // every file system, whatever order the folder returns.
        std::sort(files_.begin(), files_.end());
    }
    readCurrent();
}

void PageFileIterator::advance() { readCurrent(); }

void PageFileIterator::readCurrent() {
    while (next_ < files_.size()) {
        const std::string& file = files_[next_++];
        std::optional<std::u16string> pageName = Notebook::pageNameOfFile(file);
        if (!pageName)
            continue;
        entry_.pageName = std::move(*pageName);
        entry_.notebookName = notebookName_;
        path_ = folder_ + u"/" + fromUtf8(file);
        return;
    }
    // Exhausted: an empty entry equals the end marker.
    entry_ = FoundPage{};
    path_.clear();
}

std::optional<std::u16string> Notebook::pageNameOfFile(std::string_view file) {
    // Hidden files are never pages; among them are the temporary files of a
    // save in progress.
    if (file.empty() || file.front() == '.')
        return std::nullopt;
    // Only names that end in ".xhtml" are pages, named by all that comes
    // before it: "Page.xhtml~" and "Page.xhtml.bak" are backups, not the
    // page "Page", and "notes.xhtml.xhtml" is the page "notes.xhtml", whose
    // pagePath is that same file.
    if (file.size() <= kPageSuffix.size() || !file.ends_with(kPageSuffix))
        return std::nullopt;
    // A name that is not UTF-8 could not be opened again by its page name,
    // so it is not offered as a page.
    if (!isValidUtf8(file))
        return std::nullopt;
    std::u16string pageName = fromUtf8(file.substr(0, file.size() - kPageSuffix.size()));
    if (!isSafePageName(pageName))
        return std::nullopt;
    return pageName;
}

// ---------------------------------------------------------------- notebook

Notebook::Notebook() : diagnostics_(&std::cout) {}

Notebook::~Notebook() = default;

void Notebook::setFolder(const std::u16string& path) {
    folder_ = path;
    if (!folder_.empty() && folder_.back() == u'/')
        folder_.pop_back();
}

std::u16string Notebook::pagePath(const std::u16string& pageName) const {
    return folder_ + u"/" + pageName + u".xhtml";
}

std::u16string Notebook::titleFromName(const std::u16string& pageName) {
    std::u16string title;
    title.reserve(pageName.size() + pageName.size() / 4);
    for (std::size_t i = 0; i < pageName.size(); ++i) {
        if (i > 0 && isUpperCase(pageName[i]))
            title.push_back(u' ');
        title.push_back(pageName[i]);
    }
    return title;
}

bool Notebook::isSafePageName(const std::u16string& pageName) {
    // Only names the listing gives back as they are can be pages: a hidden
    // file is never listed. ("x.xhtml" is listed as itself from its file
    // "x.xhtml.xhtml", and such pages may already exist, so it stays.)
    if (pageName.empty() || pageName.front() == u'.')
        return false;
    // Control characters (C0, DEL, C1) would break a line-per-name listing
    // and cannot be typed back; "/" would leave the folder.
    for (const char16_t c : pageName)
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == u'/')
            return false;
    return !hasUnpairedSurrogate(pageName);
}

PageDocument& Notebook::getPage(const std::u16string& pageName) {
    if (const auto hit = cache_.find(pageName); hit != cache_.end()) {
        int& count = useCounts_[pageName];
        if (count < INT_MAX)
            ++count;
        PageDocument& cached = *hit->second;
        // Another program (or a second Tavix) may have written the file.
        if (!folder_.empty() && isSafePageName(pageName)) {
            const PageSource& source = cached.source();
            const FileStamp now = currentStamp(toUtf8(pagePath(pageName)), source.stamp);
            if (!now.sameContent(source.stamp))
                load(cached);
        }
        return cached;
    }

    auto document = std::make_unique<PageDocument>(this);
    document->setName(pageName);
    document->setDiagnostics(*diagnostics_);
    load(*document);

    // Evicting before the insertion lets the cache hold one page more than
    // the limit, never the new page itself.
    if (cache_.size() > static_cast<std::size_t>(cacheLimit()))
        evictOne();

    PageDocument& result = *document;
    cache_[pageName] = std::move(document);
    useCounts_[pageName] = 1;
    return result;
}

void Notebook::load(PageDocument& document) {
    const std::u16string& pageName = document.name();
    const bool mayUseDisk = !folder_.empty() && isSafePageName(pageName);
    const std::string path = toUtf8(pagePath(pageName));
    PageSource source;
    if (mayUseDisk && pathExists(path)) {
        std::string bytes;
        if (Status read = readWholeFile(path, bytes); !read) {
            // Something is there: showing it as a new page would let the
            // template replace it at the next save.
            source.kind = PageSource::Unreadable;
            source.readFailure = read.message();
            source.stamp = currentStamp(path);
        } else {
            // The stamp is taken first: should the file change before it is
            // parsed, the next look finds it changed and reads it again.
            source.stamp = stampOf(path, bytes);
            source.read = document.loadFile(pagePath(pageName));
            source.kind = source.read.ok ? PageSource::File : PageSource::Damaged;
        }
    }
    if (source.kind == PageSource::Template || source.kind == PageSource::Unreadable) {
        // The title is held escaped; a name with "&" or "<" (possible from
        // the command line) must still give a well-formed page.
        const std::u16string title = escapeCharData(titleFromName(pageName));
        document.setTitle(title);
        document.loadText(source.kind == PageSource::Template
                              ? u"<body><h1>" + title + u"</h1><p></p></body>"
                              : std::u16string(u"<body><p></p></body>"));
    }
    document.setSource(std::move(source));
}

PageDocument* Notebook::findCached(const std::u16string& pageName) const {
    const auto hit = cache_.find(pageName);
    return hit == cache_.end() ? nullptr : hit->second.get();
}

std::u16string Notebook::conflictPageName(const std::u16string& pageName, std::time_t when) const {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    const std::u16string base = pageName + u" (conflict " + fromUtf8(stamp);
    std::u16string name = base + u")";
    for (int n = 2; pathExists(toUtf8(pagePath(name))) || findCached(name); ++n)
        name = base + u" " + fromUtf8(std::to_string(n)) + u")";
    return name;
}

PageSaveOutcome Notebook::savePage(const PageDocument& edited, const FileStamp& expected) {
    PageSaveOutcome outcome;
    const std::u16string& pageName = edited.name();
    outcome.savedAs = pageName;
    if (folder_.empty() || !isSafePageName(pageName)) {
        outcome.status = writePage(pageName, {});  // names the reason
        return outcome;
    }
    const std::string path = toUtf8(pagePath(pageName));
    PageDocument* cached = findCached(pageName);
    if (cached && cached->source().kind == PageSource::Unreadable && pathExists(path)) {
        outcome.status = Status::failure(cached->source().readFailure +
                                         "\nTavix does not replace a page file it cannot read.");
        return outcome;
    }

    const FileStamp now = currentStamp(path, expected);
    const std::string text = toUtf8(edited.fileText());
    if (!now.sameContent(expected) && now.exists) {
        // Someone else's version is on disk: keep both.
        outcome.conflict = true;
        outcome.savedAs = conflictPageName(pageName, std::time(nullptr));
        PageDocument copy(this);
        copy.takeContentOf(edited);
        copy.setName(outcome.savedAs);
        outcome.status = writePage(outcome.savedAs, toUtf8(copy.fileText()));
        return outcome;
    }

    if (cached && cached->source().kind == PageSource::Damaged && now.exists) {
        std::string original;
        Status kept = readWholeFile(path, original);
        if (kept) {
            const std::time_t when = std::time(nullptr);
            std::tm local{};
            localtime_r(&when, &local);
            char stamp[32];
            std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
            outcome.backupPath = toUtf8(folder_) + "/." + toUtf8(pageName) + ".xhtml.damaged-" + stamp;
            kept = writeFileAtomically(outcome.backupPath, original);
        }
        if (!kept) {
            outcome.backupPath.clear();
            outcome.status = Status::failure("The damaged original of the page could not be kept, so it "
                                             "was not replaced: " + kept.message());
            return outcome;
        }
    }

    outcome.status = writePage(pageName, text);
    if (!outcome.status) {
        outcome.backupPath.clear();  // the original is still in place
        return outcome;
    }
    outcome.stamp = stampOf(path, text);
    if (cached) {
        if (cached != &edited)
            cached->takeContentOf(edited);
        PageSource source;
        source.kind = PageSource::File;
        source.stamp = outcome.stamp;
        cached->setSource(std::move(source));
    }
    return outcome;
}

Status Notebook::writePage(const std::u16string& pageName, std::string_view utf8Text) {
    if (folder_.empty())
        return Status::failure("Cannot save the page \"" + shownName(pageName) +
                               "\": the notebook has no folder");
    if (!isSafePageName(pageName))
        return Status::failure("Cannot save the page \"" + shownName(pageName) +
                               "\": its name cannot be used as a file name");
    return writeFileAtomically(toUtf8(pagePath(pageName)), utf8Text);
}

int Notebook::useCount(const std::u16string& pageName) const {
    const auto it = useCounts_.find(pageName);
    return it == useCounts_.end() ? 0 : it->second;
}

void Notebook::evictOne() {
    // Least used first; among equal counts the first name in order, which
    // the map's order gives by keeping only a strictly smaller count.
    auto chosen = useCounts_.end();
    for (auto it = useCounts_.begin(); it != useCounts_.end(); ++it)
        if (chosen == useCounts_.end() || it->second < chosen->second)
            chosen = it;
    if (chosen == useCounts_.end())
        return;
    cache_.erase(chosen->first);
    useCounts_.erase(chosen);
}

}  // namespace tavix
