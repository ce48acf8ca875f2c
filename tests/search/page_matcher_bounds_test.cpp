// Searching pages that cannot be read: the matcher reads with the same
// bounds as opening a page, so both agree on which pages are readable, and
// a hostile page ends in an error that names it, in bounded memory.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "formats/HostilePages.h"
#include "formats/PageDocument.h"
#include "search/PageMatcher.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

struct Case {
    const char* name;
    std::string bytes;
};

std::string plainPage(const std::string& body) { return test::pageWith("", body); }

TEST(PageMatcherBounds, LoadingAndSearchingAgreeOnWhatIsReadable) {
    const std::string head =
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>T</title></head><body>";
    const std::string end = std::string("<p>") + test::kEndMarker + "</p></body></html>";
    const Case cases[] = {
        // Readable, some of them only since references stopped counting.
        {"ordinary", plainPage("<h1>Title</h1><p>text &amp; more</p>")},
        {"60000 nbsp", test::namedEntities("nbsp", 60000)},
        {"60000 eacute", test::namedEntities("eacute", 60000)},
        {"declared entity", test::pageWith("<!DOCTYPE html [<!ENTITY w \"word\">]>",
                                           test::repeat("<p>&w;</p>", 60000))},
        {"large attribute",
         test::pageWith("", "<p>x</p>",
                        "<meta name=\"keywords\" content=\"" + std::string(1 << 20, 'k') + "\"/>")},
        {"entity chain of 8", test::entityChain(8)},
        // Damaged: read up to the damage, silently for a search.
        {"Latin-1 byte", head + "<p>caf\xe9</p>" + end},
        {"NUL byte", head + "<p>a" + std::string(1, '\0') + "</p>" + end},
        {"nbsp without DOCTYPE", head + "<p>a&nbsp;b</p>" + end},
        {"HTML br", head + "<p>a<br>b</p>" + end},
        {"cut short", head + "<p>cut"},
        // Hostile: stopped by a bound.
        {"billion laughs", test::billionLaughs("lol")},
        {"billion empties", test::billionLaughs("")},
        {"multiplied text", test::quadraticText(35000, 9000)},
        {"multiplied keywords", test::quadraticAttribute(35000, 9000)},
        {"multiplied attributes", test::quadraticAttributes(20000, 400)},
        {"default attributes", test::defaultAttributes(20000, 2000)},
        {"entity chain", test::entityChain(300)},
    };
    test::TempDir dir;
    PageMatcher matcher;  // one matcher for all, as a search uses it
    matcher.setPattern(fromUtf8(test::kEndMarker));
    for (const Case& c : cases) {
        dir.write("Page.xhtml", c.bytes);
        const std::u16string path = fromUtf8(dir.file("Page.xhtml"));
        std::ostringstream diagnostics;
        PageDocument page(nullptr);
        page.setDiagnostics(diagnostics);
        const ParseResult loaded = page.loadFile(path);

        // The end of the page is found exactly when the page loads whole.
        EXPECT_EQ(matcher.matchesFile(path), loaded.ok) << c.name << ": " << loaded.message;
        // A page stopped by a bound is an error for the search, naming it
        // and where; anything else is not.
        EXPECT_EQ(!matcher.error().ok(), loaded.limitExceeded)
            << c.name << ": " << matcher.error().message();
        if (!matcher.error().ok()) {
            const std::string message = matcher.error().message();
            EXPECT_NE(message.find("Page.xhtml"), std::string::npos) << message;
            EXPECT_NE(message.find("line " + std::to_string(loaded.line)), std::string::npos)
                << message;
        }
    }
}

TEST(PageMatcherBounds, TextBeforeTheBoundStillCountsAsBeforeDamage) {
    test::TempDir dir;
    dir.write("Early.xhtml",
              test::pageWith(test::bigEntity(35000),
                             "<p>early</p><p>" + test::repeat("&big;", 9000) + "</p>"));
    PageMatcher matcher;
    matcher.setPattern(u"early");
    EXPECT_TRUE(matcher.matchesFile(fromUtf8(dir.file("Early.xhtml"))));
    EXPECT_TRUE(matcher.error().ok());
    matcher.setPattern(u"late");
    EXPECT_FALSE(matcher.matchesFile(fromUtf8(dir.file("Early.xhtml"))));
    EXPECT_FALSE(matcher.error().ok());
    // The matcher goes on with the next file as if nothing had happened.
    dir.write("Fine.xhtml", test::pageWith("", "<p>late</p>"));
    EXPECT_TRUE(matcher.matchesFile(fromUtf8(dir.file("Fine.xhtml"))));
    EXPECT_TRUE(matcher.error().ok());
}

// Peak memory is measured in a child process, which searches a small page
// first (the library, the reader and the expression are then set up),
// gives back the memory it inherited unused and starts its peak afresh,
// then searches the hostile page; the growth of its peak resident size is
// what the hostile page cost.
struct Cost {
    long growthKb = -1;
    bool error = false;
};

// A line "Name:   123 kB" of /proc/self/status, in kB; -1 when missing.
long statusKb(const char* name) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long value = -1;
    const std::size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, name, length) == 0 && line[length] == ':')
            value = std::atol(line + length + 1);
    std::fclose(status);
    return value;
}

Cost searchInChild(const std::string& warmUp, const std::string& hostile) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        PageMatcher matcher;
        matcher.setPattern(u"never there");
        matcher.matchesFile(fromUtf8(warmUp));
        malloc_trim(0);
        // Starts the peak anew at the present size (Linux).
        if (std::FILE* reset = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", reset);
            std::fclose(reset);
        }
        const long before = statusKb("VmRSS");
        matcher.matchesFile(fromUtf8(hostile));
        Cost cost;
        const long peak = statusKb("VmHWM");
        cost.growthKb = before < 0 || peak < 0 ? -1 : peak - before;
        cost.error = !matcher.error().ok();
        const ssize_t written = write(pipeEnds[1], &cost, sizeof cost);
        _exit(written == sizeof cost ? 0 : 1);
    }
    close(pipeEnds[1]);
    Cost cost;
    if (child < 0 || read(pipeEnds[0], &cost, sizeof cost) != sizeof cost) cost = {};
    close(pipeEnds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return cost;
}

TEST(PageMatcherBounds, HostilePagesCostAtMostTenTimesTheirSizeInMemory) {
    // About a megabyte each, so that what the parser needs for any page
    // weighs little. Unbounded, the first would take some 2 TB.
    const Case cases[] = {
        {"multiplied text", test::quadraticText(500000, 300000)},
        {"multiplied keywords", test::quadraticAttribute(500000, 300000)},
        {"default attributes", test::defaultAttributes(500000, 100000)},
        {"padded billion laughs", test::billionLaughs("lol", 300000)},
        {"entity chain", test::entityChain(50000)},
        {"multiplied attributes", test::quadraticAttributes(500000, 50000)},
    };
    test::TempDir dir;
    dir.write("Small.xhtml", test::pageWith("", "<p>small</p>"));
    for (const Case& c : cases) {
        dir.write("Hostile.xhtml", c.bytes);
        const Cost cost = searchInChild(dir.file("Small.xhtml"), dir.file("Hostile.xhtml"));
        ASSERT_GE(cost.growthKb, 0) << c.name;
        EXPECT_TRUE(cost.error) << c.name;
        EXPECT_LE(cost.growthKb * 1024, 10 * static_cast<long>(c.bytes.size()))
            << c.name << ": " << cost.growthKb << " KB for " << c.bytes.size() / 1024 << " KB";
        std::printf("%s: %ld KB for a page of %zu KB\n", c.name, cost.growthKb,
                    c.bytes.size() / 1024);
    }
}

}  // namespace
}  // namespace tavix
