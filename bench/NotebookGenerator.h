#pragma once
// Writes a notebook of made-up but realistic pages for measuring search:
// about 4 KB each, in the page file format the program writes, with
// headings, character formats, link words, keywords, escaped characters
// and some text beyond ASCII. The same count and seed always give the same
// files, byte for byte.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace tavix::bench {

class NotebookGenerator {
public:
    explicit NotebookGenerator(std::uint64_t seed = 1) : state_(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}

    // Page i's name: two capitalised words and a number, so every name is
    // also a link word ("GardenPlan00042").
    static std::string pageName(std::size_t i) {
        static const char* const first[] = {"Garden", "Project", "Meeting", "Travel", "Recipe", "Budget",
                                            "Reading", "Research", "Home",    "Music",  "Family", "Health"};
        static const char* const second[] = {"Notes", "Plan", "Ideas", "List", "Log", "Draft", "Summary", "Review"};
        char number[32];
        std::snprintf(number, sizeof number, "%05zu", i);
        return std::string(first[i % 12]) + second[(i / 12) % 8] + number;
    }

    // One page file's text for page i of count.
    std::string pageText(std::size_t i, std::size_t count) {
        const std::string name = pageName(i);
        std::string title;
        for (std::size_t k = 0; k < name.size(); ++k) {
            if (k > 0 && name[k] >= 'A' && name[k] <= 'Z') title += ' ';
            title += name[k];
        }
        std::string text = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title>";
        text += "<meta name=\"keywords\" content=\"" + word() + " " + word() + " " + word() + "\"/>";
        text += "</head><body><h1>" + title + "</h1>";
        while (text.size() < 3900) {
            const unsigned kind = next() % 10;
            if (kind == 0) {
                text += "<h2>" + capitalised(word()) + " " + word() + "</h2>";
            } else {
                text += "<p>" + sentence(count) + " " + sentence(count) + "</p>";
            }
        }
        return text + "</body></html>";
    }

    // Writes count pages into folder (which must exist). Returns false when
    // a file could not be written.
    bool write(const std::string& folder, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            std::ofstream out(folder + "/" + pageName(i) + ".xhtml", std::ios::binary | std::ios::trunc);
            out << pageText(i, count);
            if (!out.flush()) return false;
        }
        return true;
    }

private:
    std::uint32_t next() {
        // PCG-style step: the same sequence on every compiler and library.
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }

    std::string word() {
        static const std::vector<std::string> common = {
            "the", "of", "and", "to", "in", "for", "with", "on", "that", "this", "from", "about", "before",
            "after", "we", "they", "should", "could", "will", "must", "next", "last", "week", "month",
            "year", "garden", "tomatoes", "seeds", "water", "soil", "meeting", "agenda", "minutes",
            "decision", "budget", "costs", "invoice", "travel", "train", "ticket", "hotel", "museum",
            "recipe", "flour", "butter", "sugar", "oven", "minutes", "book", "chapter", "author", "notes",
            "idea", "draft", "review", "plan", "list", "music", "piano", "concert", "family", "birthday",
            "doctor", "appointment", "exercise", "morning", "evening", "weekend", "project", "deadline",
            "release", "version", "feature", "bug", "test", "report", "summary", "question", "answer",
            "café", "naïve", "crème", "Übersicht", "façade", "smörgåsbord", "jalapeño", "résumé"};
        const std::uint32_t r = next();
        // Rare words give searches with few hits: about one page in 300
        // has "zeppelin", one in 100 "quarterly" (a page holds some 550 words).
        if (r % 190000 == 7) return "zeppelin";
        if (r % 56000 == 11) return "quarterly";
        return common[r % common.size()];
    }

    static std::string capitalised(std::string w) {
        if (!w.empty() && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 'a' + 'A');
        return w;
    }

    std::string sentence(std::size_t count) {
        std::string s = capitalised(word());
        const unsigned length = 6 + next() % 10;
        for (unsigned k = 0; k < length; ++k) {
            const unsigned kind = next() % 24;
            s += ' ';
            if (kind == 0) s += "<b>" + word() + "</b>";
            else if (kind == 1) s += "<i>" + word() + " " + word() + "</i>";
            else if (kind == 2) s += pageName(next() % (count ? count : 1));  // a link word
            else if (kind == 3) s += "R&amp;D";
            else if (kind == 4) s += "&lt;" + word() + "&gt;";
            else if (kind == 5) s += "<u>" + word() + "</u>";
            else s += word();
        }
        return s + ".";
    }

    std::uint64_t state_;
};

}  // namespace tavix::bench
