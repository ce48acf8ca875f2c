#pragma once
// What the index must say about a notebook folder, worked out the slow way:
// every page file listed and read again. Tests compare the index with it
// after whatever happened to the folder.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/NotebookIndex.h"
#include "index/PageText.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix::test {

inline std::string pageFile(const std::string& title, const std::string& body,
                            const std::string& keywords = {}) {
    std::string text =
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title>";
    if (!keywords.empty())
        text += "<meta name=\"keywords\" content=\"" + keywords + "\"/>";
    return text + "</head><body>" + body + "</body></html>";
}

// "%41b%2F" as "Ab/": file names in links and trash records.
inline std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

struct ScannedPage {
    std::u16string name;
    std::u16string title;
    std::vector<std::u16string> links;
};

// Every page of the folder in listing order, read from its file.
inline std::vector<ScannedPage> scanFolder(const std::string& folder) {
    std::vector<ScannedPage> pages;
    Notebook notebook;
    notebook.setFolder(fromUtf8(folder));
    PageTextReader reader;
    const PageIterator end;
    for (PageFileIterator it = notebook.pages(); !(it == end); ++it) {
        ScannedPage page;
        page.name = it->pageName;
        std::string bytes;
        if (readWholeFile(toUtf8(it.path()), bytes)) {
            PageText text;
            reader.read(bytes, it.path(), text);
            page.title = text.title;
            page.links = linkWordsOf(text);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

// Checks every query of the index against a scan of its folder; parts are
// substrings tried on the name filter. Returns false (after reporting with
// where) at the first difference.
inline bool agreesWithFolder(NotebookIndex& index, const std::vector<std::u16string>& parts,
                             const std::string& where) {
    const std::vector<ScannedPage> truth = scanFolder(index.folder());
    std::vector<IndexedPage> listed;
    EXPECT_TRUE(index.pages(listed)) << where;
    std::vector<IndexedPage> expected;
    for (const ScannedPage& page : truth)
        expected.push_back({page.name, page.title});
    EXPECT_EQ(listed, expected) << where;
    if (listed != expected)
        return false;

    std::map<std::u16string, std::vector<std::u16string>> backlinks;
    for (const ScannedPage& page : truth) {
        std::vector<std::u16string> links;
        EXPECT_TRUE(index.linksOf(page.name, links));
        EXPECT_EQ(links, page.links) << where << ": links of " << toUtf8(page.name);
        if (links != page.links)
            return false;
        bool exists = false;
        EXPECT_TRUE(index.hasPage(page.name, exists));
        EXPECT_TRUE(exists) << where;
        for (const std::u16string& target : page.links)
            backlinks[target].push_back(page.name);
        backlinks[page.name];  // asked for every page, linked or not
    }
    for (const auto& [target, from] : backlinks) {
        std::vector<std::u16string> found;
        EXPECT_TRUE(index.backlinksOf(target, found));
        EXPECT_EQ(found, from) << where << ": backlinks of " << toUtf8(target);
        if (found != from)
            return false;
    }
    for (const std::u16string& part : parts) {
        std::vector<IndexedPage> found;
        EXPECT_TRUE(index.findPages(part, found));
        std::vector<IndexedPage> want;
        const std::u16string folded = foldCase(part);
        for (const IndexedPage& page : expected)
            if (foldCase(page.name).find(folded) != std::u16string::npos ||
                foldCase(page.title).find(folded) != std::u16string::npos)
                want.push_back(page);
        EXPECT_EQ(found, want) << where << ": filter " << toUtf8(part);
        if (found != want)
            return false;
    }
    return true;
}

}  // namespace tavix::test
