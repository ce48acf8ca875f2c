#include "editor/PageOperations.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidget>

#include "editor/PageEditor.h"
#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "platform/RtfDocument.h"
#include "platform/WaitCursor.h"
#include "store/NotebookStore.h"
#include "editor/KeywordsField.h"

namespace tavix {

namespace {

// Characters XML 1.0 cannot carry. The converter drops control characters
// anyway; leaving them in would only make the fragment unreadable.
bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::u16string xmlSafe(const std::u16string& in) {
    std::u16string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char16_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            out += c;
            out += in[++i];
        } else if (isXmlChar(c) && c >= 0x20) {
            out += c;
        }
    }
    return out;
}

}  // namespace

PageOperations::PageOperations(NotebookStore& store, PageEditor& editor, KeywordsField* keywords,
                               QWidget* window)
    : store_(store), editor_(editor), keywords_(keywords), window_(window) {}

PageDocument* PageOperations::currentPage() {
    if (openPage_ && !store_.notebook().isCached(openName_))
        openPage_ = &store_.notebook().getPage(openName_);
    return openPage_;
}

void PageOperations::report(const Status& status) {
    if (status.ok())
        return;
    if (reporter_) {
        reporter_(status);
        return;
    }
    QMessageBox::warning(window_, QStringLiteral("Tavix"),
                         QStringLiteral("The page could not be saved; your changes are still in the "
                                        "editor.\n\n") +
                             QString::fromStdString(status.message()));
}

bool PageOperations::OpenPage(const std::u16string& name, bool reload) {
    const std::u16string wanted = name;  // name may refer into the open page
    if (currentPage() && IsModified()) {
        // Leaving a page whose edits could not be written would lose them.
        if (!SavePage())
            return false;
    }
    if (!reload && openPage_ && openName_ == wanted)
        return true;

    WaitCursor wait;
    PageDocument& page = store_.notebook().getPage(wanted);
    openPage_ = &page;
    openName_ = wanted;

    RtfWriter writer(store_.styleSheet());
    writer.setFontBase(0);
    page.parseBody(writer);
    // A body that broke off (a damaged file) leaves the RTF group open; the
    // part that could be converted is shown.
    writer.finish();
    editor_.SetRtf(writer.rtf());
    // The style sheet changes only before a reload; a page switch needs no
    // second conversion of the Normal style.
    if (reload || !followingFormatSet_)
        setFollowingParagraphFormat();
    if (keywords_)
        keywords_->SetKeywords(page.keywords());
    return true;
}

void PageOperations::setFollowingParagraphFormat() {
    // The formats of a Normal paragraph, exactly as a page load gives them.
    RtfWriter writer(store_.styleSheet());
    if (!writer.convert(u"<body><p>x</p></body>").ok)
        return;
    QTextDocument scratch;
    QTextCursor cursor(&scratch);
    insertRtf(cursor, writer.rtf());
    const QTextBlock block = scratch.begin();
    editor_.setFollowingParagraphFormat(block.blockFormat(), block.begin().fragment().charFormat());
    followingFormatSet_ = true;
}

Status PageOperations::SavePage() {
    PageDocument* page = currentPage();
    if (!page)
        return Status::success();
    Status status;
    {
        WaitCursor wait;
        // The reader's events empty the keywords; without a pane the page
        // keeps the ones it had.
        const std::u16string keywords = keywords_ ? keywords_->GetKeywords() : page->keywords();
        RtfReader reader(store_.styleSheet());
        reader.setInput(editor_.GetRtf());
        reader.run(*page);
        page->setKeywords(keywords);
        status = page->save();
        if (status) {
            editor_.SetModified(false);
            if (keywords_)
                keywords_->ClearModified();
        }
    }
    report(status);
    return status;
}

bool PageOperations::ReloadPage() {
    if (!currentPage())
        return false;
    const std::u16string name = openName_;
    return OpenPage(name, true);
}

void PageOperations::ApplyParagraphStyle(int index) {
    const ParagraphStyle& style = store_.styleSheet().style(index);
    const int remembered = editor_.selectionStart();
    const auto [start, end] = editor_.ParagraphRangeAt(remembered);
    std::u16string text = editor_.textRange(start, end);
    if (!text.empty() && text.back() == u'\r')
        text.pop_back();  // the separator stays where it is
    const std::u16string& tag = style.tag().empty() ? std::u16string(u"p") : style.tag();
    const std::u16string fragment = u"<body><" + tag + u">" + escapeCharData(xmlSafe(text)) +
                                    u"</" + tag + u"></body>";
    RtfWriter writer(store_.styleSheet());
    writer.setFontBase(100);
    if (!writer.convert(fragment).ok)
        return;  // never replace a paragraph with a part of it
    editor_.ReplaceParagraphWithRtf(start, writer.rtf());
    const int caret = std::min(remembered, editor_.textLength());
    editor_.setSelection(caret, caret);
}

void PageOperations::ToggleCharEffect(unsigned effect, unsigned mask) {
    const unsigned current = editor_.SelectionEffects();
    unsigned next = (current & effect) ? (current & ~effect) : (current | effect);
    // Superscript and subscript are one vertical position: turning one on
    // turns the other off.
    if ((next & effect) && (effect & PageEditor::kSuperSubMask))
        next = (next & ~PageEditor::kSuperSubMask) | effect;
    editor_.SetSelectionEffects(next, mask);
}

void PageOperations::SelectParagraph() {
    const auto [start, end] = editor_.ParagraphRangeAt(editor_.selectionStart());
    editor_.setSelection(start, end);
}

bool PageOperations::IsModified() const {
    return editor_.IsModified() || (keywords_ && keywords_->IsModified());
}

std::u16string PageOperations::PageTitle() const {
    // The cache may have dropped the document since it was opened.
    if (openPage_ && store_.notebook().isCached(openName_))
        return openPage_->title();
    return {};
}

QString PageOperations::TitleText() const {
    const std::u16string title = unescapeCharData(PageTitle());
    QString text = QStringLiteral("Tavix - ");
    text += title.empty() ? QStringLiteral("untitled") : QString::fromStdU16String(title);
    if (IsModified())
        text += QLatin1Char('*');
    return text;
}

void PageOperations::UpdateTitle() {
    if (!window_)
        return;
    const QString text = TitleText();
    if (window_->windowTitle() != text)
        window_->setWindowTitle(text);
}

}  // namespace tavix
