#include "search/RequiredText.h"

#include <utility>

#include "store/TextCodec.h"

namespace tavix {

namespace {

constexpr std::size_t kShortest = 3;

RequiredText literal(std::u32string text) {
    RequiredText r;
    if (text.size() < kShortest) return r;
    r.kind = RequiredText::Literal;
    r.text = std::move(text);
    return r;
}

// "All of" the parts, without the ones requiring nothing.
RequiredText allOf(std::vector<RequiredText> parts) {
    RequiredText r;
    for (RequiredText& part : parts) {
        if (part.kind == RequiredText::Anything) continue;
        if (part.kind == RequiredText::AllOf) {
            for (RequiredText& inner : part.parts) r.parts.push_back(std::move(inner));
        } else {
            r.parts.push_back(std::move(part));
        }
    }
    if (r.parts.empty()) return {};
    if (r.parts.size() == 1) return std::move(r.parts.front());
    r.kind = RequiredText::AllOf;
    return r;
}

// "Any of" the parts: nothing when one of them requires nothing.
RequiredText anyOf(std::vector<RequiredText> parts) {
    RequiredText r;
    for (RequiredText& part : parts) {
        if (part.kind == RequiredText::Anything) return {};
        if (part.kind == RequiredText::AnyOf) {
            for (RequiredText& inner : part.parts) r.parts.push_back(std::move(inner));
        } else {
            r.parts.push_back(std::move(part));
        }
    }
    if (r.parts.empty()) return {};
    if (r.parts.size() == 1) return std::move(r.parts.front());
    r.kind = RequiredText::AnyOf;
    return r;
}

bool isAsciiAlnum(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

// Reads the pattern as Boost's Perl syntax does, as far as it is sure to.
// Any doubt sets unsure_, and the whole pattern then requires nothing.
class Parser {
public:
    explicit Parser(std::u32string pattern) : p_(std::move(pattern)) {}

    RequiredText parse() {
        RequiredText r = alternation();
        if (unsure_ || at_ != p_.size()) return {};
        return r;
    }

private:
    // Quantifier after an atom: how often it must occur at least, or -1
    // when none follows. Sets unsure_ on a form it does not know.
    int quantifier() {
        if (at_ >= p_.size()) return -1;
        int least = -1;
        const char32_t c = p_[at_];
        if (c == U'*' || c == U'?') {
            least = 0;
            ++at_;
        } else if (c == U'+') {
            least = 1;
            ++at_;
        } else if (c == U'{') {
            std::size_t j = at_ + 1;
            long n = 0;
            std::size_t digits = 0;
            while (j < p_.size() && p_[j] >= U'0' && p_[j] <= U'9' && digits < 6) n = n * 10 + (p_[j++] - U'0'), ++digits;
            if (digits == 0 || j >= p_.size()) {
                unsure_ = true;
                return -1;
            }
            if (p_[j] == U',') {
                ++j;
                std::size_t more = 0;
                while (j < p_.size() && p_[j] >= U'0' && p_[j] <= U'9' && more < 6) ++j, ++more;
            }
            if (j >= p_.size() || p_[j] != U'}') {
                unsure_ = true;
                return -1;
            }
            at_ = j + 1;
            least = n > 0 ? 1 : 0;
        } else {
            return -1;
        }
        // Lazy and possessive forms repeat just as often.
        if (at_ < p_.size() && (p_[at_] == U'?' || p_[at_] == U'+')) ++at_;
        // A second quantifier in a row is no form this reader knows.
        if (at_ < p_.size() && (p_[at_] == U'*' || p_[at_] == U'+' || p_[at_] == U'?' || p_[at_] == U'{'))
            unsure_ = true;
        return least;
    }

    RequiredText alternation() {
        std::vector<RequiredText> branches;
        branches.push_back(sequence());
        while (!unsure_ && at_ < p_.size() && p_[at_] == U'|') {
            ++at_;
            branches.push_back(sequence());
        }
        return anyOf(std::move(branches));
    }

    // Skips a bracket expression starting at at_ ('['); false when its end
    // cannot be found for certain.
    bool skipClass() {
        std::size_t j = at_ + 1;
        if (j < p_.size() && p_[j] == U'^') ++j;
        if (j < p_.size() && p_[j] == U']') ++j;  // a leading ']' is itself
        for (; j < p_.size() && p_[j] != U']'; ++j) {
            if (p_[j] == U'\\') {
                ++j;
            } else if (p_[j] == U'[' && j + 1 < p_.size() &&
                       (p_[j + 1] == U':' || p_[j + 1] == U'=' || p_[j + 1] == U'.')) {
                const std::u32string close{p_[j + 1], U']'};
                const auto end = p_.find(close, j + 2);
                if (end == std::u32string::npos) return false;
                j = end + 1;
            } else if (p_[j] == U'[') {
                return false;
            }
        }
        if (j >= p_.size()) return false;
        at_ = j + 1;
        return true;
    }

    RequiredText sequence() {
        std::vector<RequiredText> parts;
        std::u32string run;
        auto flush = [&] {
            parts.push_back(literal(std::move(run)));
            run.clear();
        };
        while (!unsure_ && at_ < p_.size()) {
            const char32_t c = p_[at_];
            if (c == U'|' || c == U')') break;
            // An atom that stands for one character or more, but no text
            // this reader can name.
            bool unknownAtom = false;
            bool zeroWidth = false;
            char32_t literalChar = 0;
            bool isLiteral = false;
            if (c == U'\\') {
                if (at_ + 1 >= p_.size()) {
                    unsure_ = true;
                    break;
                }
                const char32_t e = p_[at_ + 1];
                at_ += 2;
                if (e < 0x80 && !isAsciiAlnum(e)) {
                    if (e == U'<' || e == U'>' || e == U'`' || e == U'\'')
                        zeroWidth = true;  // word edges and buffer ends
                    else
                        isLiteral = true, literalChar = e;
                } else if (std::u32string_view(U"dDwWsShHlu").find(e) != std::u32string_view::npos) {
                    unknownAtom = true;
                } else if (std::u32string_view(U"bBAzZG").find(e) != std::u32string_view::npos) {
                    zeroWidth = true;
                } else {
                    // \Q, \x, \c, \p, \k, \g, digits, \E, and the rest:
                    // each reads on in its own way.
                    unsure_ = true;
                    break;
                }
            } else if (c == U'.') {
                ++at_;
                unknownAtom = true;
            } else if (c == U'[') {
                if (!skipClass()) {
                    unsure_ = true;
                    break;
                }
                unknownAtom = true;
            } else if (c == U'^' || c == U'$') {
                ++at_;
                zeroWidth = true;
            } else if (c == U'(') {
                ++at_;
                bool discard = false;
                if (at_ < p_.size() && p_[at_] == U'*') {
                    unsure_ = true;  // backtracking verbs
                    break;
                }
                if (at_ < p_.size() && p_[at_] == U'?') {
                    const std::u32string_view rest(p_.data() + at_, p_.size() - at_);
                    if (rest.substr(0, 2) == U"?:" || rest.substr(0, 2) == U"?>") {
                        at_ += 2;
                    } else if (rest.substr(0, 2) == U"?=" || rest.substr(0, 2) == U"?!") {
                        at_ += 2;
                        discard = true;
                    } else if (rest.substr(0, 3) == U"?<=" || rest.substr(0, 3) == U"?<!") {
                        at_ += 3;
                        discard = true;
                    } else {
                        unsure_ = true;  // options, names, conditions, recursion
                        break;
                    }
                }
                RequiredText inner = alternation();
                if (unsure_ || at_ >= p_.size() || p_[at_] != U')') {
                    unsure_ = true;
                    break;
                }
                ++at_;
                flush();
                const int least = quantifier();
                if (discard) {
                    // A look-around matches no text of its own.
                    if (least >= 0) unsure_ = true;
                    continue;
                }
                if (least != 0) parts.push_back(std::move(inner));
                continue;
            } else if (c == U'*' || c == U'+' || c == U'?' || c == U'{' || c == U'}' || c == U']') {
                unsure_ = true;  // nothing to repeat, or a brace of doubtful meaning
                break;
            } else {
                ++at_;
                isLiteral = true;
                literalChar = c;
            }
            if (zeroWidth) {
                flush();
                if (quantifier() >= 0) unsure_ = true;
                continue;
            }
            if (unknownAtom) {
                flush();
                quantifier();
                continue;
            }
            if (isLiteral) {
                const int least = quantifier();
                if (least < 0) {
                    run.push_back(literalChar);
                } else if (least == 0) {
                    flush();
                } else {
                    // x+: the text before ends with one x, the text after
                    // starts with one.
                    run.push_back(literalChar);
                    flush();
                    run.push_back(literalChar);
                }
            }
        }
        flush();
        return allOf(std::move(parts));
    }

    std::u32string p_;
    std::size_t at_ = 0;
    bool unsure_ = false;
};


}  // namespace

RequiredText requiredText(const std::u16string& pattern) {
    // Code points, as the matcher widens the pattern: a character beyond
    // the basic plane is one literal, not two halves.
    std::u32string wide;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char32_t c = pattern[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < pattern.size() && pattern[i + 1] >= 0xDC00 &&
            pattern[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (pattern[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return {};  // a lone half: not a character anyone can type
        }
        wide.push_back(c);
    }
    return Parser(std::move(wide)).parse();
}

std::string describe(const RequiredText& required) {
    switch (required.kind) {
    case RequiredText::Anything: return "*";
    case RequiredText::Literal: {
        std::string out = "\"";
        for (const char32_t c : required.text) appendUtf8(c, out);
        return out + "\"";
    }
    case RequiredText::AllOf:
    case RequiredText::AnyOf: {
        std::string out = "(";
        for (std::size_t i = 0; i < required.parts.size(); ++i) {
            if (i > 0) out += required.kind == RequiredText::AllOf ? " AND " : " OR ";
            out += describe(required.parts[i]);
        }
        return out + ")";
    }
    }
    return "*";
}

}  // namespace tavix
