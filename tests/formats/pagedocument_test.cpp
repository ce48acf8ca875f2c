// The page document: file format, the event rules that rebuild keywords and
// body, failure handling and saving through a notebook.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLString.hpp>

#include "formats/HostilePages.h"
#include "formats/PageDocument.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

using namespace tavix;

namespace {

const std::u16string kXhtmlStart = u"<html xmlns=\"http://www.w3.org/1999/xhtml\">";

// A document whose diagnostics are captured instead of printed.
struct Doc {
    explicit Doc(Notebook* notebook = nullptr) : page(notebook) { page.setDiagnostics(out); }
    std::ostringstream out;
    PageDocument page;

    int fatalLines() const {
        const std::string text = out.str();
        int n = 0;
        for (std::size_t at = text.find("Fatal Error: "); at != std::string::npos;
             at = text.find("Fatal Error: ", at + 1))
            ++n;
        return n;
    }
};

std::u16string pageFile(const std::u16string& head, const std::u16string& body) {
    return kXhtmlStart + u"<head>" + head + u"</head>" + body + u"</html>";
}

class Recorder : public xercesc::DefaultHandler {
public:
    void startDocument() override { events += u"["; }
    void endDocument() override { events += u"]"; }
    void startElement(const XMLCh*, const XMLCh* localName, const XMLCh*, const xercesc::Attributes&) override {
        events += u"<" + u16(localName) + u">";
    }
    void endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) override {
        events += u"</" + u16(localName) + u">";
    }
    void characters(const XMLCh* chars, const XMLSize_t length) override { events += u16(chars, length); }
    std::u16string events;
};

// Drives a document the way a producer other than the parser does.
class EventDriver {
public:
    explicit EventDriver(xercesc::ContentHandler& target) : target_(target) {}
    void start(const char16_t* name) { target_.startElement(asXml(u""), asXml(name), asXml(name), empty_); }
    void end(const char16_t* name) { target_.endElement(asXml(u""), asXml(name), asXml(name)); }
    void text(const std::u16string& t) { target_.characters(asXml(t.c_str()), t.size()); }

private:
    struct NoAttributes : xercesc::Attributes {
        XMLSize_t getLength() const override { return 0; }
        const XMLCh* getURI(const XMLSize_t) const override { return nullptr; }
        const XMLCh* getLocalName(const XMLSize_t) const override { return nullptr; }
        const XMLCh* getQName(const XMLSize_t) const override { return nullptr; }
        const XMLCh* getType(const XMLSize_t) const override { return nullptr; }
        const XMLCh* getValue(const XMLSize_t) const override { return nullptr; }
        bool getIndex(const XMLCh*, const XMLCh*, XMLSize_t&) const override { return false; }
        int getIndex(const XMLCh*, const XMLCh*) const override { return -1; }
        bool getIndex(const XMLCh*, XMLSize_t&) const override { return false; }
        int getIndex(const XMLCh*) const override { return -1; }
        const XMLCh* getType(const XMLCh*, const XMLCh*) const override { return nullptr; }
        const XMLCh* getType(const XMLCh*) const override { return nullptr; }
        const XMLCh* getValue(const XMLCh*, const XMLCh*) const override { return nullptr; }
        const XMLCh* getValue(const XMLCh*) const override { return nullptr; }
    } empty_;
    xercesc::ContentHandler& target_;
};

}  // namespace

TEST(PageDocumentFile, ExampleFileHasExactlyTheseBytes) {
    PageDocument page(nullptr);
    page.setTitle(u"Front Page");
    ASSERT_TRUE(page.loadText(u"<body><h1>Front Page</h1><p>Welcome</p></body>").ok);
    page.setKeywords(u"home start");
    EXPECT_EQ(toUtf8(page.fileText()),
              "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Front Page</title>"
              "<meta name=\"keywords\" content=\"home start\"/></head>"
              "<body><h1>Front Page</h1><p>Welcome</p></body></html>");

    page.setKeywords(u"");
    EXPECT_EQ(page.fileText(),
              kXhtmlStart + u"<head><title>Front Page</title></head><body><h1>Front Page</h1><p>Welcome</p></body></html>");
}

TEST(PageDocumentFile, LoadingTheExampleGivesTitleKeywordsAndBody) {
    Doc d;
    ParseResult r = d.page.loadText(pageFile(u"<title>Front Page</title><meta name=\"keywords\" content=\"home start\"/>",
                                             u"<body><h1>Front Page</h1><p>Welcome</p></body>"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(d.page.title(), u"Front Page");
    EXPECT_EQ(d.page.keywords(), u"home start");
    EXPECT_EQ(d.page.body(), u"<body><h1>Front Page</h1><p>Welcome</p></body>");
    EXPECT_EQ(d.out.str(), "");
}

TEST(PageDocumentFile, NewPageTemplatePassesThroughTheEventRules) {
    PageDocument page(nullptr);
    page.setName(u"FrontPage");
    page.setTitle(Notebook::titleFromName(u"FrontPage"));
    EXPECT_TRUE(page.loadText(u"<body><h1>" + page.title() + u"</h1><p></p></body>").ok);
    EXPECT_EQ(page.title(), u"Front Page");
    EXPECT_EQ(page.body(), u"<body><h1>Front Page</h1><p></p></body>");
    EXPECT_EQ(page.keywords(), u"");
}

TEST(PageDocumentRules, BodyIsRebuiltFromLocalNamesWithoutAttributesCommentsOrInstructions) {
    Doc d;
    d.page.loadText(
        u"<x:html xmlns:x=\"http://www.w3.org/1999/xhtml\"><x:head><x:title>T</x:title></x:head>"
        u"<x:body class=\"c\"><x:p>t</x:p><p class=\"k\" id=\"i\">a &amp; b</p><p/>"
        u"<p>one<!-- gone --><?pi gone?>two</p><h2>x<b>bold <i>both</i></b> tail</h2></x:body></x:html>");
    EXPECT_EQ(d.page.title(), u"T");
    EXPECT_EQ(d.page.body(),
              u"<body><p>t</p><p>a &amp; b</p><p></p><p>onetwo</p>"
              u"<h2>x<b>bold <i>both</i></b> tail</h2></body>");
}

TEST(PageDocumentRules, EveryElementInsideTheBodyIsKeptButNothingOutsideIt) {
    Doc d;
    d.page.loadText(u"<root>stray<head>head text<other>o</other></head>between"
                    u"<body><div><span>s</span></div></body>after<p>not body</p></root>");
    EXPECT_EQ(d.page.body(), u"<body><div><span>s</span></div></body>");
    EXPECT_EQ(d.page.title(), u"");
}

TEST(PageDocumentRules, KeywordsComeOnlyFromAMetaNamedKeywordsWithContent) {
    struct Case {
        std::u16string head;
        std::u16string keywords;
    } cases[] = {
        {u"<meta name=\"keywords\" content=\"a b\"/>", u"a b"},
        {u"<meta name=\"description\" content=\"no\"/>", u""},
        {u"<meta name=\"Keywords\" content=\"case\"/>", u""},
        {u"<meta name=\"keywords\"/>", u""},
        {u"<meta content=\"only content\"/>", u""},
        {u"<meta name=\"keywords\" content=\"first\"/><meta name=\"keywords\" content=\"second\"/>", u"second"},
        {u"<meta name=\"keywords\" content=\"x &amp; &lt;y&gt; &quot;z&quot;\"/>", u"x & <y> \"z\""},
    };
    for (const Case& c : cases) {
        Doc d;
        d.page.loadText(pageFile(u"<title>t</title>" + c.head, u"<body></body>"));
        EXPECT_EQ(d.page.keywords(), c.keywords) << toUtf8(c.head);
    }
    // A meta element inside the body still sets the keywords (and is kept).
    Doc d;
    d.page.loadText(pageFile(u"", u"<body><p>x</p><meta name=\"keywords\" content=\"inside\"/></body>"));
    EXPECT_EQ(d.page.keywords(), u"inside");
    EXPECT_EQ(d.page.body(), u"<body><p>x</p><meta></meta></body>");
}

TEST(PageDocumentRules, TitleIsHeldEscapedAndKeptWhenTheFileHasNone) {
    Doc d;
    d.page.loadText(pageFile(u"<title>A &amp; B &lt;C&gt;</title>", u"<body></body>"));
    EXPECT_EQ(d.page.title(), u"A &amp; B &lt;C&gt;");
    EXPECT_NE(d.page.fileText().find(u"<title>A &amp; B &lt;C&gt;</title>"), std::u16string::npos);

    d.page.setTitle(u"Kept");
    d.page.loadText(pageFile(u"", u"<body><p>new</p></body>"));
    EXPECT_EQ(d.page.title(), u"Kept");
    EXPECT_EQ(d.page.body(), u"<body><p>new</p></body>");
}

TEST(PageDocumentRules, EachLoadReplacesBodyAndKeywords) {
    Doc d;
    d.page.loadText(pageFile(u"<meta name=\"keywords\" content=\"old\"/>", u"<body><p>old</p></body>"));
    d.page.loadText(pageFile(u"", u"<body><p>new</p></body>"));
    EXPECT_EQ(d.page.keywords(), u"");
    EXPECT_EQ(d.page.body(), u"<body><p>new</p></body>");
}

TEST(PageDocumentRules, EventsFromAnotherProducerAreEscapedAndMayArriveInPieces) {
    PageDocument page(nullptr);
    page.setKeywords(u"dropped by startDocument");
    EventDriver drive(page);
    page.startDocument();
    drive.start(u"body");
    drive.start(u"p");
    drive.text(u"a < b");
    drive.text(u" & \"c\" ");
    drive.start(u"b");
    drive.text(u"'d'>");
    drive.end(u"b");
    drive.text(u"\U0001F600");
    drive.end(u"p");
    drive.end(u"body");
    page.endDocument();
    EXPECT_EQ(page.keywords(), u"");
    EXPECT_EQ(page.body(), u"<body><p>a &lt; b &amp; &quot;c&quot; <b>&apos;d&apos;&gt;</b>\U0001F600</p></body>");
}

TEST(PageDocumentRules, CharactersXmlCannotCarryNeverReachTheBody) {
    PageDocument page(nullptr);
    EventDriver drive(page);
    page.startDocument();
    drive.start(u"body");
    drive.start(u"p");
    drive.text(std::u16string(u"a\u0001b\u000bc") + char16_t(0xD800) + u"d" + char16_t(0xFFFF) + u"\t\n");
    // A surrogate pair split between two pieces is still one character.
    drive.text(std::u16string(1, char16_t(0xD83D)));
    drive.text(std::u16string(1, char16_t(0xDE00)));
    drive.end(u"p");
    drive.end(u"body");
    page.endDocument();
    EXPECT_EQ(page.body(), u"<body><p>a\uFFFDb\uFFFDc\uFFFDd\uFFFD\t\n\U0001F600</p></body>");

    // Whatever the keywords hold, the file written stays readable.
    page.setKeywords(u"bell\u0007 end");
    page.setTitle(u"title\u0002");
    PageDocument again(nullptr);
    EXPECT_TRUE(again.loadText(page.fileText()).ok);
    EXPECT_EQ(again.keywords(), u"bell\uFFFD end");
    EXPECT_EQ(again.title(), u"title\uFFFD");
    EXPECT_EQ(again.body(), page.body());
}

TEST(PageDocumentRules, XhtmlNamedEntitiesUnderTheXhtmlDoctypeGiveTheirCharacters) {
    Doc d;
    ParseResult r = d.page.loadText(
        u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
        u"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">" +
        pageFile(u"<title>T&eacute;</title>", u"<body><p>a&nbsp;b&mdash;c&unknown;d&lt;</p></body>"));
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(d.page.title(), u"T\u00e9");
    EXPECT_EQ(d.page.body(), u"<body><p>a\u00a0b\u2014cd&lt;</p></body>");
}

// HTML5 pages written as XML say only "<!DOCTYPE html>"; a no-break space
// written as a named entity must survive (it used to end the page there).
TEST(PageDocumentRules, XhtmlNamedEntitiesUnderADoctypeNamingNoDtd) {
    Doc d;
    ParseResult r = d.page.loadText(u"<!DOCTYPE html>" + pageFile(u"<title>T&eacute;</title>",
                                                                 u"<body><p>a&nbsp;b&mdash;c&lt;</p></body>"));
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(d.page.title(), u"T\u00e9");
    EXPECT_EQ(d.page.body(), u"<body><p>a\u00a0b\u2014c&lt;</p></body>");
    EXPECT_EQ(d.fatalLines(), 0) << d.out.str();
}

// Text of a body, in order, from parsing the markup: what the editor shows.
std::u16string bodyText(const PageDocument& page, bool* wellFormed = nullptr) {
    struct Text : xercesc::DefaultHandler {
        void characters(const XMLCh* chars, const XMLSize_t length) override {
            text += u16(chars, length);
        }
        std::u16string text;
    } text;
    const bool ok = page.parseBody(text).ok;
    if (wellFormed) *wellFormed = ok;
    return text.text;
}

TEST(PageDocumentRules, InnerAndRepeatedBodiesKeepAllTheirText) {
    struct Case {
        std::u16string body;  // between </head> and </html>
        std::u16string expected;
    } cases[] = {
        // An inner body is kept as it stands, tags and all.
        {u"<body><p>a</p><body><p>b</p></body><p>c</p></body>",
         u"<body><p>a</p><body><p>b</p></body><p>c</p></body>"},
        {u"<body><p>a</p><body><body><p>b</p></body><p>c</p></body><p>d</p></body>",
         u"<body><p>a</p><body><body><p>b</p></body><p>c</p></body><p>d</p></body>"},
        {u"<body><div><body><h1>b</h1></body></div><p>c</p></body>",
         u"<body><div><body><h1>b</h1></body></div><p>c</p></body>"},
        // A second body after the first is closed continues the first, so
        // the body stays one element that the editor can show whole.
        {u"<body><p>a</p></body><body><p>b</p></body>", u"<body><p>a</p><p>b</p></body>"},
        {u"<body><p>a</p></body><p>outside</p><body><p>b</p><body><p>c</p></body></body>",
         u"<body><p>a</p><p>b</p><body><p>c</p></body></body>"},
    };
    for (const Case& c : cases) {
        Doc d;
        ASSERT_TRUE(d.page.loadText(pageFile(u"<title>T</title>", c.body)).ok) << toUtf8(c.body);
        EXPECT_EQ(d.page.body(), c.expected) << toUtf8(c.body);
        bool wellFormed = false;
        const std::u16string shown = bodyText(d.page, &wellFormed);
        EXPECT_TRUE(wellFormed) << toUtf8(c.body);
        // Saving and reading back changes nothing, however often.
        Doc again;
        ASSERT_TRUE(again.page.loadText(d.page.fileText()).ok);
        EXPECT_EQ(again.page.body(), d.page.body()) << toUtf8(c.body);
        EXPECT_EQ(again.page.fileText(), d.page.fileText());
        EXPECT_EQ(bodyText(again.page), shown);
    }
}

TEST(PageDocumentFailures, DamagedFileKeepsThePartialBodyAndPrintsOneLine) {
    Doc d;
    // The file ends in the middle of the body: everything read is kept,
    // down to the text after the last complete tag.
    ParseResult r = d.page.loadText(kXhtmlStart + u"<head><title>T</title><meta name=\"keywords\" content=\"k\"/></head>"
                                                  u"<body><h1>Head</h1><p>one <b>bo");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(d.page.title(), u"T");
    EXPECT_EQ(d.page.keywords(), u"k");
    EXPECT_EQ(d.page.body(), u"<body><h1>Head</h1><p>one <b>bo");
    EXPECT_EQ(d.fatalLines(), 1);
    const std::regex line("Fatal Error: .+ at line: 1 at col: [0-9]+\n");
    EXPECT_TRUE(std::regex_match(d.out.str(), line)) << d.out.str();
    EXPECT_EQ(r.line, 1u);
}

// Whatever keeps a file from being read to its end, loading says so with a
// position, so that the page is never written over with the part read.
TEST(PageDocumentFailures, AFileNotReadCompletelyIsNeverReportedAsRead) {
    const std::string head =
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>T</title></head>";
    const std::string end = std::string("<p>") + test::kEndMarker + "</p></body></html>";
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) >> 3);
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"Latin-1 byte in UTF-8", head + "<body><p>caf\xe9 au lait</p>" + end},
        {"NUL byte", head + "<body><p>a" + std::string(1, '\0') + "b</p>" + end},
        {"&nbsp; without a DOCTYPE", head + "<body><p>a&nbsp;b</p>" + end},
        {"HTML <br>", head + "<body><p>line<br>next</p>" + end},
        {"binary", binary},
        {"PNG image", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + binary},
        {"empty", ""},
        {"cut short", head + "<body><p>one</p><p>cut"},
        {"text after the root", head + "<body><p>a</p></body></html>" + end},
        {"undeclared entity", head + "<body><p>&bogus;</p>" + end},
        {"billion laughs", test::billionLaughs("lol")},
        {"entity-multiplied text", test::quadraticText(35000, 9000)},
        {"entity-multiplied keywords", test::quadraticAttribute(35000, 9000)},
        {"a million nested elements", test::deepNesting(1000000)},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        dir.write("Page.xhtml", c.bytes);
        Doc d;
        const ParseResult r = d.page.loadFile(fromUtf8(dir.file("Page.xhtml")));
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_FALSE(r.message.empty()) << c.name;
        EXPECT_GT(r.line, 0u) << c.name;
        EXPECT_GT(r.column, 0u) << c.name;
        EXPECT_EQ(d.fatalLines(), 1) << c.name << ": " << d.out.str();
        EXPECT_EQ(d.page.body().find(fromUtf8(test::kEndMarker)), std::u16string::npos) << c.name;
    }
}

TEST(PageDocumentFailures, DiagnosticsGoToStandardOutputUnlessRedirected) {
    PageDocument page(nullptr);
    testing::internal::CaptureStdout();
    page.loadText(u"<a>");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("Fatal Error: ", 0), 0u) << printed;
    EXPECT_EQ(printed.back(), '\n');
}

TEST(PageDocumentFailures, ParseBodyDeliversWhatPrecedesDamageAndNeverThrows) {
    Doc d;
    // The text read up to the damage is kept, in the paragraph it was in.
    d.page.loadText(u"<html><body><p>fine</p><p>cut <i>here");
    ASSERT_EQ(d.page.body(), u"<body><p>fine</p><p>cut <i>here");
    Recorder rec;
    ParseResult r = d.page.parseBody(rec);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(rec.events, u"[<body><p>fine</p><p>cut <i>here");

    Doc whole;
    whole.page.loadText(u"<html><body><p>x &amp; y</p></body></html>");
    Recorder ok;
    EXPECT_TRUE(whole.page.parseBody(ok).ok);
    EXPECT_EQ(ok.events, u"[<body><p>x & y</p></body>]");

    Recorder none;
    EXPECT_FALSE(PageDocument(nullptr).parseBody(none).ok);
}

TEST(PageDocumentFailures, SavingWithoutANotebookFailsWithAReason) {
    PageDocument page(nullptr);
    page.setName(u"Lonely");
    Status s = page.save();
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("Lonely"), std::string::npos);
}

class PageDocumentSave : public ::testing::Test {
protected:
    PageDocumentSave() {
        notebook.setFolder(dir.path16());
        notebook.setDiagnostics(out);
    }
    test::TempDir dir;
    std::ostringstream out;
    Notebook notebook;
};

TEST_F(PageDocumentSave, WritesUtf8WithoutBomOrLineEnd) {
    PageDocument page(&notebook);
    page.setName(u"Caf\u00e9Page");
    page.setTitle(u"Caf\u00e9 \U0001F600");
    page.loadText(u"<body><p>\u4e2d\u00e9\U0001F600</p></body>");
    ASSERT_TRUE(page.save().ok());
    const std::string bytes = dir.read("Caf\xc3\xa9Page.xhtml");
    EXPECT_EQ(bytes, toUtf8(page.fileText()));
    EXPECT_EQ(bytes.rfind("<html xmlns=", 0), 0u);
    EXPECT_EQ(bytes.back(), '>');
    EXPECT_NE(bytes.find("<p>\xe4\xb8\xad\xc3\xa9\xf0\x9f\x98\x80</p>"), std::string::npos);
}

TEST_F(PageDocumentSave, TitleKeywordsAndBodySurviveSaveAndLoad) {
    const std::u16string keywords = u"a & b < c > \"d\" 'e'\r\nline two\rcr only\ttab \u00e9\U0001F600";
    PageDocument page(&notebook);
    page.setName(u"RoundTrip");
    page.setTitle(u"A &amp; B \u00e9\U0001F600");
    page.loadText(u"<body><h1>x &lt; y</h1><p>\u00e9 \U0001F600 <b>b</b><sub>2</sub></p></body>");
    page.setKeywords(keywords);
    ASSERT_TRUE(page.save().ok());
    EXPECT_NE(dir.read("RoundTrip.xhtml").find("&#13;&#10;line two&#13;cr only&#9;tab"), std::string::npos);

    Doc back;
    ParseResult r = back.page.loadFile(notebook.pagePath(u"RoundTrip"));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(back.page.title(), page.title());
    EXPECT_EQ(back.page.keywords(), keywords);
    EXPECT_EQ(back.page.body(), page.body());
    EXPECT_EQ(back.out.str(), "");
}

TEST_F(PageDocumentSave, EmptyKeywordsWriteNoMetaAndLoadEmpty) {
    PageDocument page(&notebook);
    page.setName(u"Plain");
    page.setTitle(u"Plain");
    page.loadText(u"<body><p></p></body>");
    ASSERT_TRUE(page.save().ok());
    EXPECT_EQ(dir.read("Plain.xhtml").find("<meta"), std::string::npos);
    PageDocument back(nullptr);
    back.setKeywords(u"stale");
    EXPECT_TRUE(back.loadFile(notebook.pagePath(u"Plain")).ok);
    EXPECT_EQ(back.keywords(), u"");
}

TEST_F(PageDocumentSave, AFailedWriteIsReportedAndKeepsTheDocument) {
    PageDocument page(&notebook);
    page.setName(u"bad/name");
    page.setTitle(u"T");
    page.loadText(u"<body><p>kept</p></body>");
    EXPECT_FALSE(page.save().ok());
    EXPECT_EQ(page.body(), u"<body><p>kept</p></body>");
}

// A page may use named entities as often as it likes: all of it is read,
// and what is saved reads back the same.
TEST_F(PageDocumentSave, ManyNamedEntitiesAreReadWholeAndSavedWhole) {
    for (const char* name : {"nbsp", "eacute"}) {
        dir.write("Many.xhtml", test::namedEntities(name, 60000));
        Doc d(&notebook);
        d.page.setName(u"Many");
        const ParseResult r = d.page.loadFile(notebook.pagePath(u"Many"));
        ASSERT_TRUE(r.ok) << name << ": " << r.message;
        const std::u16string body = d.page.body();
        EXPECT_NE(body.find(fromUtf8(test::kEndMarker)), std::u16string::npos);
        const char16_t character = std::string(name) == "nbsp" ? u'\u00a0' : u'\u00e9';
        EXPECT_EQ(std::count(body.begin(), body.end(), character), 60000) << name;
        ASSERT_TRUE(d.page.save().ok());
        Doc back;
        ASSERT_TRUE(back.page.loadFile(notebook.pagePath(u"Many")).ok);
        EXPECT_EQ(back.page.body(), body);
    }
}
