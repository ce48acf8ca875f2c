#pragma once
// Tests page files against a regular expression (Boost.Regex, Perl syntax,
// wide characters) over each run of character data in the file, and over
// the page's keywords.
//
// A run is all the character data between two pieces of markup (element
// tags, comments, processing instructions), however many pieces the parser
// delivers it in: "R&amp;D" is searched as the one run "R&D". The keywords
// (the content of <meta name="keywords">) are searched as one run of their
// own. Element and attribute names and other attribute values are never
// searched.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <boost/regex.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>

#include "formats/XmlSupport.h"
#include "search/MatchPlace.h"
#include "store/Status.h"

namespace tavix {

class PageMatcher : public xercesc::DefaultHandler {
public:
    // Holds the XML library for its lifetime, so it can be used on its own.
    PageMatcher();
    ~PageMatcher() override;
    PageMatcher(const PageMatcher&) = delete;
    PageMatcher& operator=(const PageMatcher&) = delete;

    // The search text, used exactly as typed (nothing is escaped; see
    // escapeLiteral for a text to be found as it stands).
    void setPattern(const std::u16string& pattern);
    const std::u16string& pattern() const { return pattern_; }
    // When false, letters match regardless of case (Unicode case mapping,
    // whatever the process locale). Default true.
    void setMatchCase(bool matchCase);
    bool matchCase() const { return matchCase_; }
    // Which places of a page are searched (MatchPlace bits). Default: all.
    void setPlaces(unsigned places) { places_ = places; }
    unsigned places() const { return places_; }
    // A flag another thread may set to end the search: the file being
    // tested then fails with stopped() set. Not owned; null for none.
    void setCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
    const std::atomic<bool>* cancelFlag() const { return cancel_; }

    // The character as case-insensitive matching compares it: two
    // characters match regardless of case exactly when these are equal.
    static wchar_t caseless(wchar_t c);

    // The pattern that finds text exactly as it stands: every character
    // that means something to the expression syntax gets a backslash.
    static std::u16string escapeLiteral(const std::u16string& text);

    // Compiles the expression unless it is already compiled for the current
    // pattern and match case. On failure the status names the problem in
    // plain words and where it is in the pattern ("bad pattern: Unmatched
    // '(' at position 5 of 'C++ (notes'"); the matcher then matches nothing.
    Status compile();

    // True when some run of character data in the file matches. A file that
    // is not well-formed counts as matching when text before the error did;
    // a file that cannot be read does not match; neither is an error.
    // Returns false and sets error() when the pattern does not compile, a
    // match exceeds the library's limits (stack, complexity, memory), or the
    // file exceeds the bounds every page is parsed within (a hostile page,
    // which cannot be opened either) before any text of it matched. Never
    // throws. error() is cleared at the start of every call.
    bool matchesFile(const std::u16string& path);
    // The last call's failure (ok when none).
    const Status& error() const { return error_; }
    // True when that failure is the file's own (a hostile page the bounds
    // stopped): other files can still be searched.
    bool failedOnFile() const { return failedOnFile_; }
    // True when that failure is the cancel flag's doing.
    bool stopped() const { return cancelled_; }
    // Where the last file matched (MatchPlace bits; 0 when it did not).
    unsigned foundIn() const { return foundIn_; }
    // The text of the last file's title element (cut to a few hundred
    // characters), found or not: what the page calls itself.
    const std::u16string& title() const { return title_; }

    // Records every run this matcher would search in the page file's bytes
    // (and where the parse could have stopped), in a compact form that
    // matchesRecorded replays: a text index keeps it so the page need not be
    // parsed again. Returns false when the page cannot be recorded faithfully
    // (not read completely, hostile, odd code units): it is then to be
    // searched from its file. Pattern, places and cancel flag do not matter.
    bool recordRuns(std::string_view bytes, const std::u16string& systemId, std::string& out);
    // matchesFile over recorded runs: the same answer, foundIn() and title()
    // as for the file they were recorded from (path names it in messages).
    // error() as for matchesFile (never failedOnFile(): such pages are not
    // recorded).
    bool matchesRecorded(std::string_view recorded, const std::u16string& path);
    // Calls each(text, place) for every run recorded in recorded (text in
    // UTF-32), in order.
    static void forEachRecordedRun(std::string_view recorded,
                                   const std::function<void(std::wstring_view, unsigned)>& each);
    // In the recorded form: the kind of item that marks the body's start
    // (runs are of their MatchPlace), and the tag's flag for markup before
    // the item.
    static constexpr unsigned kRecordedBody = 8;
    static constexpr unsigned kRecordedNewEvent = 0x10;

    // SAX2 events; public only because the parser calls them.
    void startElement(const XMLCh*, const XMLCh*, const XMLCh*, const xercesc::Attributes&) override;
    void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override;
    void characters(const XMLCh* chars, const XMLSize_t length) override;
    // XHTML named entities (the DTD is never fetched) count as the
    // characters they stand for, as they do when the page is opened.
    void skippedEntity(const XMLCh* name) override;
    void processingInstruction(const XMLCh*, const XMLCh*) override;
    void comment(const XMLCh*, const XMLSize_t) override;
    void endDocument() override;
    // Records nothing and never throws: the parse simply ends there.
    void fatalError(const xercesc::SAXParseException&) override;

private:
    // Searches the run gathered so far (if any) and starts a new one.
    void searchRun();
    // searchRun at markup; ends the parse (by an exception that the parse
    // turns into its result) once the answer is known.
    void endRun();
    bool readFile(const std::u16string& path);
    // Clears what one file's test leaves behind.
    void startFile(const std::u16string& path);
    // startFile, then the pattern compiled and no stop asked for; false with
    // error() set otherwise.
    bool readyFor(const std::u16string& path);
    // Appends one recorded item (a run, or the body's start) to record_.
    void recordItem(unsigned kind, const std::wstring* text);
    // Searches one piece of text already widened; sets the place's bit.
    void searchWide(const std::wstring& text, unsigned place);
    // Whether the rest of the file can still change the answer.
    bool answerKnown() const;
    ParseResult parseBuffer(const std::u16string& systemId);

    // The title kept is cut to this many code units.
    static constexpr std::size_t kTitleLimit = 400;
    XmlLibrary xml_;  // first member: outlives the reader below
    std::u16string pattern_;
    bool matchCase_ = true;
    unsigned places_ = kMatchAnywhere;
    const std::atomic<bool>* cancel_ = nullptr;
    bool cancelled_ = false;
    unsigned foundIn_ = 0;
    unsigned runPlace_ = kMatchInText;  // the place of the run being gathered
    int titleDepth_ = 0;
    bool inBody_ = false;
    std::u16string title_;
    // The expression is valid only while compiled_ is set; it was built
    // from compiledPattern_ and compiledMatchCase_.
    bool compiled_ = false;
    std::u16string compiledPattern_;
    bool compiledMatchCase_ = true;
    boost::wregex expression_;  // UTF-32 wchar_t; runs are widened before matching
    // The run gathered so far, already widened to UTF-32; a high
    // surrogate waits in pendingHigh_ for the next piece.
    std::wstring wide_;
    char16_t pendingHigh_ = 0;
    bool inRun_ = false;
    boost::match_results<const wchar_t*> match_;
    std::string bytes_;  // reused file buffer
    bool stopped_ = false;  // the expression failed; stop parsing
    std::u16string currentPath_;
    // Set while recordRuns runs: runs are recorded, not searched.
    std::string* record_ = nullptr;
    bool recordFaithful_ = true;
    bool recordNewEvent_ = true;  // markup came since the last item
    Status error_;
    bool failedOnFile_ = false;
    // One reader for every file this matcher tests: making one costs far
    // more than parsing a small page.
    std::unique_ptr<xercesc::SAX2XMLReader> reader_;
};

}  // namespace tavix
