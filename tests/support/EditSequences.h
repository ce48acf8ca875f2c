#pragma once
// Random edit sequences run through the real page editor, and the check that
// what the editor shows is what its saved page shows again after a reload.
// Shared by the editor's property test and the long run in bench/.
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QWidget>

#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "platform/RtfDocument.h"
#include "store/NotebookStore.h"

namespace tavix::test {

// One user action; a and b are positions (clamped to the text when run) or
// the argument of the action.
struct EditStep {
    enum Kind {
        Type, Return, ShiftReturn, Backspace, Delete, SelectAllDelete, Style, StyleCombo, Effect,
        Cut, Copy, Paste, Undo, Redo, Select,
    };
    Kind kind = Type;
    int a = 0;
    int b = 0;
    std::string text = {};
};

inline std::string describe(const EditStep& s) {
    static const char* names[] = {"Type", "Return", "ShiftReturn", "Backspace", "Delete",
                                  "SelectAllDelete", "Style", "StyleCombo", "Effect", "Cut",
                                  "Copy", "Paste", "Undo", "Redo", "Select"};
    std::ostringstream o;
    o << names[s.kind] << "(" << s.a << "," << s.b;
    if (!s.text.empty())
        o << ",\"" << s.text << "\"";
    o << ")";
    return o.str();
}

inline std::string describe(const std::vector<EditStep>& steps) {
    std::string out;
    for (const EditStep& s : steps)
        out += describe(s) + " ";
    return out;
}

// What the user sees: per paragraph its style and per character its text,
// effects, font and size. Empty paragraphs are left out: a page file keeps
// none (an empty paragraph leaves nothing in the body). A long paragraph
// shown in parts is one paragraph, as long as it looks like one: no space
// between its parts, each part in the paragraph's style, every break after
// a blank.
inline std::string screenOf(const PageEditor& editor) {
    std::ostringstream o;
    std::string paragraph;
    int style = 0;
    auto flush = [&] {
        if (!paragraph.empty())
            o << "[s" << style << "]" << paragraph << "\n";
        paragraph.clear();
    };
    for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next()) {
        const bool part = b.previous().isValid() && continuesParagraph(b.blockFormat());
        if (!part) {
            flush();
            style = editor.paragraphStyleAt(b.position());
        } else {
            const QString before = b.previous().text();
            if (b.blockFormat().topMargin() != 0 || b.previous().blockFormat().bottomMargin() != 0)
                paragraph += "{space between parts}";
            if (editor.paragraphStyleAt(b.position()) != style)
                paragraph += "{a part in another style}";
            if (before.isEmpty() || b.length() <= 1)
                paragraph += "{an empty part}";
            else if (!before.endsWith(QLatin1Char(' ')) && !before.endsWith(QLatin1Char('\t')))
                paragraph += "{parts cut inside a word}";
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString families = f.fontFamilies().toStringList().join(QLatin1Char(','));
            const QString attrs = QStringLiteral("{%1%2%3%4%5 %6 %7}")
                                      .arg(f.fontWeight() >= QFont::DemiBold ? "b" : "")
                                      .arg(f.fontItalic() ? "i" : "")
                                      .arg(f.fontUnderline() ? "u" : "")
                                      .arg(f.fontStrikeOut() ? "s" : "")
                                      .arg(f.verticalAlignment() == QTextCharFormat::AlignSuperScript ? "^"
                                           : f.verticalAlignment() == QTextCharFormat::AlignSubScript ? "_"
                                                                                                     : "")
                                      .arg(families)
                                      .arg(f.fontPointSize());
            // Per character, so that fragments cut differently still compare.
            for (QChar c : it.fragment().text())
                paragraph += attrs.toStdString() + QString(c).toStdString();
        }
    }
    flush();
    return o.str();
}

// A notebook folder with one page, its editor and page operations, as the
// main window holds them.
class EditBench {
public:
    EditBench() : editor_(&window_), ops_(store_, editor_, nullptr, &window_) {
        store_.notebook().setFolder(dir_.path().toStdU16String());
        editor_.resize(700, 500);
        window_.resize(700, 500);
        window_.show();
    }

    QString file(const char* name) const { return dir_.filePath(QString::fromLatin1(name) + ".xhtml"); }

    // Long paragraphs in parts of this length, here and in the editor that
    // reads the saved page again.
    void setPartLength(int characters) {
        editor_.setPartLength(characters);
        partLength_ = characters;
    }

    void writePage(const std::string& body) {
        QFile f(file("EditPage"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(("<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Edit</title></head>" + body +
                 "</html>")
                    .c_str());
    }

    void open() {
        ops_.OpenPage(u"Other", false);  // leave the page, so that it is read again
        ops_.OpenPage(u"EditPage", false);
    }

    void run(const EditStep& s) {
        const int len = editor_.textLength() + 1;
        auto pos = [len](int v) { return ((v % len) + len) % len; };
        switch (s.kind) {
        case EditStep::Type: QTest::keyClicks(&editor_, QString::fromStdString(s.text)); break;
        case EditStep::Return: QTest::keyClick(&editor_, Qt::Key_Return); break;
        case EditStep::ShiftReturn: QTest::keyClick(&editor_, Qt::Key_Return, Qt::ShiftModifier); break;
        case EditStep::Backspace: QTest::keyClick(&editor_, Qt::Key_Backspace); break;
        case EditStep::Delete: QTest::keyClick(&editor_, Qt::Key_Delete); break;
        case EditStep::SelectAllDelete:
            QTest::keyClick(&editor_, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(&editor_, Qt::Key_Delete);
            break;
        case EditStep::Style:
        case EditStep::StyleCombo: ops_.ApplyParagraphStyle(s.a % 7); break;
        case EditStep::Effect: {
            static const unsigned effects[] = {PageEditor::Bold, PageEditor::Italic, PageEditor::Underline,
                                               PageEditor::Strikeout, PageEditor::Superscript,
                                               PageEditor::Subscript};
            const unsigned e = effects[s.a % 6];
            ops_.ToggleCharEffect(e, (e & PageEditor::kSuperSubMask) ? PageEditor::kSuperSubMask : e);
            break;
        }
        case EditStep::Cut: editor_.Cut(); break;
        case EditStep::Copy: editor_.Copy(); break;
        case EditStep::Paste: editor_.Paste(); break;
        case EditStep::Undo: editor_.Undo(); break;
        case EditStep::Redo: editor_.Redo(); break;
        case EditStep::Select: editor_.setSelection(pos(s.a), pos(s.b)); break;
        }
    }

    // Empty when screen and saved page agree, else both.
    std::string check() {
        const std::string shown = screenOf(editor_);
        ops_.SavePage();
        NotebookStore other;
        other.notebook().setFolder(dir_.path().toStdU16String());
        QWidget w;
        PageEditor reread(&w);
        reread.setPartLength(partLength_);
        PageOperations readOps(other, reread, nullptr, &w);
        readOps.OpenPage(u"EditPage", false);
        const std::string back = screenOf(reread);
        return shown == back ? std::string() : "screen:\n" + shown + "saved and read again:\n" + back;
    }

    // Runs the steps on the start page; the mismatch found, if any.
    std::string runAll(const std::string& body, const std::vector<EditStep>& steps) {
        writePage(body);
        open();
        for (const EditStep& s : steps)
            run(s);
        return check();
    }

    PageEditor& editor() { return editor_; }
    PageOperations& ops() { return ops_; }
    NotebookStore& store() { return store_; }

private:
    QTemporaryDir dir_;
    int partLength_ = PageEditor::kDefaultPartLength;
    NotebookStore store_;
    QWidget window_;
    PageEditor editor_;
    PageOperations ops_;
};

inline std::string randomBody(std::mt19937& rng) {
    static const char* tags[] = {"p", "h1", "h2", "h3", "h4", "h5", "h6"};
    static const char* texts[] = {"Hello", "FrontPage", "a b", "word", "ShoppingList x", "\xC3\xA9t\xC3\xA9", ""};
    std::string body = "<body>";
    const int n = int(rng() % 4);
    for (int i = 0; i < n; ++i) {
        const char* tag = tags[rng() % 7];
        body += std::string("<") + tag + ">" + texts[rng() % 7];
        if (rng() % 2)
            body += std::string("<b>bold</b> ") + texts[rng() % 7];
        if (rng() % 3 == 0)
            body += "<i>it<u>ul</u></i>";
        body += std::string("</") + tag + ">";
    }
    return body + "</body>";
}

inline std::vector<EditStep> randomSteps(std::mt19937& rng, int count) {
    static const char* typed[] = {"x", "Ab", "Link Word", " ", "WikiWord", "q\t", "zz"};
    std::vector<EditStep> steps;
    for (int i = 0; i < count; ++i) {
        EditStep s{EditStep::Kind(rng() % 15)};
        s.a = int(rng() % 200);
        s.b = int(rng() % 200);
        if (s.kind == EditStep::Type)
            s.text = typed[rng() % 7];
        // Most edits act at a caret or selection of its own.
        if (s.kind != EditStep::Select && rng() % 2)
            steps.push_back(EditStep{EditStep::Select, int(rng() % 200), int(rng() % 200)});
        steps.push_back(s);
    }
    return steps;
}

// The shortest sub-sequence (one step dropped at a time) that still fails.
inline std::vector<EditStep> shrink(EditBench& bench, const std::string& body, std::vector<EditStep> steps) {
    bool dropped = true;
    while (dropped) {
        dropped = false;
        for (size_t i = 0; i < steps.size(); ++i) {
            std::vector<EditStep> fewer = steps;
            fewer.erase(fewer.begin() + long(i));
            if (!bench.runAll(body, fewer).empty()) {
                steps = std::move(fewer);
                dropped = true;
                break;
            }
        }
    }
    return steps;
}

}  // namespace tavix::test
