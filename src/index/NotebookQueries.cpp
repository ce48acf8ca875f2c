// The queries of the notebook index, and the case folding of its filter.
#include <locale.h>
#include <wctype.h>

#include "index/IndexStatements.h"
#include "index/NotebookIndex.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

locale_t utf8Locale() {
    static const locale_t loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"})
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t(0)))
                return l;
        return locale_t(0);
    }();
    return loc;
}

template <typename Each>
Status collect(sql::Statement& query, Each each) {
    while (query.step())
        each(query);
    Status result = query.error();
    query.reset();
    return result;
}

}  // namespace

std::u16string foldCase(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const locale_t loc = utf8Locale();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            if (c >= u'A' && c <= u'Z')
                c += 0x20;
        } else if (loc && !(c >= 0xD800 && c <= 0xDFFF)) {
            c = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

Status NotebookIndex::pages(std::vector<IndexedPage>& out) {
    out.clear();
    if (!st_)
        return Status::failure("The index is not open");
    Status result = collect(st_->listPages, [&](sql::Statement& q) {
        out.push_back({fromUtf8(q.columnText(0)), fromUtf8(q.columnText(1))});
    });
    if (!result) {
        noteDamage();
        out.clear();
    }
    return result;
}

Status NotebookIndex::findPages(std::u16string_view part, std::vector<IndexedPage>& out) {
    out.clear();
    if (!st_)
        return Status::failure("The index is not open");
    // Names and titles are kept as one text, a line each: no part holding
    // a line break may match across them.
    if (part.find(u'\n') != std::u16string_view::npos)
        return Status::success();
    Status result = collect(st_->findPages.bind(1, toUtf8(foldCase(part))), [&](sql::Statement& q) {
        out.push_back({fromUtf8(q.columnText(0)), fromUtf8(q.columnText(1))});
    });
    if (!result) {
        noteDamage();
        out.clear();
    }
    return result;
}

Status NotebookIndex::namesFrom(sql::Statement& query, std::vector<std::u16string>& out) {
    Status result = collect(query, [&](sql::Statement& q) { out.push_back(fromUtf8(q.columnText(0))); });
    if (!result) {
        noteDamage();
        out.clear();
    }
    return result;
}

Status NotebookIndex::linksOf(const std::u16string& name, std::vector<std::u16string>& out) {
    out.clear();
    if (!st_)
        return Status::failure("The index is not open");
    return namesFrom(st_->linksOf.bind(1, toUtf8(name)), out);
}

Status NotebookIndex::backlinksOf(const std::u16string& name, std::vector<std::u16string>& out) {
    out.clear();
    if (!st_)
        return Status::failure("The index is not open");
    return namesFrom(st_->backlinksOf.bind(1, toUtf8(name)), out);
}

Status NotebookIndex::hasPage(const std::u16string& name, bool& exists) {
    exists = false;
    if (!st_)
        return Status::failure("The index is not open");
    Status result =
        collect(st_->hasPage.bind(1, toUtf8(name)), [&](sql::Statement&) { exists = true; });
    if (!result)
        noteDamage();
    return result;
}

Status NotebookIndex::pageInfo(const std::u16string& name, std::optional<IndexedPageInfo>& info) {
    info.reset();
    if (!st_)
        return Status::failure("The index is not open");
    Status result = collect(st_->pageInfo.bind(1, toUtf8(name)), [&](sql::Statement& q) {
        IndexedPageInfo page;
        page.name = name;
        page.title = fromUtf8(q.columnText(0));
        page.keywords = fromUtf8(q.columnText(1));
        page.size = static_cast<std::uint64_t>(q.columnInt(2));
        page.modifiedNs = q.columnInt(3);
        const std::int64_t state = q.columnInt(4);
        page.state = state == 1   ? IndexedPageInfo::Damaged
                     : state == 2 ? IndexedPageInfo::Unreadable
                                  : IndexedPageInfo::Read;
        info = page;
    });
    if (!result) {
        noteDamage();
        info.reset();
    }
    return result;
}

Status NotebookIndex::pagesNotRead(std::vector<std::u16string>& out) {
    out.clear();
    if (!st_)
        return Status::failure("The index is not open");
    Status result =
        collect(st_->notRead, [&](sql::Statement& q) { out.push_back(fromUtf8(q.columnText(0))); });
    if (!result) {
        noteDamage();
        out.clear();
    }
    return result;
}

}  // namespace tavix
