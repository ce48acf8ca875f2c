#pragma once
// The page operations of a main window: open, save, reload, paragraph
// styles, character effects, select paragraph, title. It owns nothing of the
// window; the window owns it.
#include <functional>
#include <QString>
#include <string>

#include "store/Status.h"

class QWidget;

namespace tavix {

class NotebookStore;
class PageDocument;
class PageEditor;
class KeywordsField;

class PageOperations {
public:
    // window's title is kept up to date by UpdateTitle; keywords may be null.
    PageOperations(NotebookStore& store, PageEditor& editor, KeywordsField* keywords,
                   QWidget* window);

    // Saves a modified open page first; when that save fails the failure is
    // reported, nothing else happens and false is returned (the edits stay
    // in the editor). Unless reload, stops (returning true) when name is the
    // open page's. Otherwise loads the page into both editors, clean.
    bool OpenPage(const std::u16string& name, bool reload);
    // Writes the open page (modified or not). Clears both modified flags
    // only when the file was written; a failure is reported (file and
    // reason) and returned. Success when no page is open.
    Status SavePage();
    bool ReloadPage();
    void ApplyParagraphStyle(int index);
    void ToggleCharEffect(unsigned effect, unsigned mask);
    void SelectParagraph();
    // "Tavix - " + title (or "untitled") + "*" when modified.
    void UpdateTitle();
    QString TitleText() const;
    // The open page's title as held (escaped); empty when no page is open.
    std::u16string PageTitle() const;

    PageDocument* openPage() const { return openPage_; }
    bool IsModified() const;

    // How failures reach the user; a message box on the window by default.
    using Reporter = std::function<void(const Status&)>;
    void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }

private:
    // Return at the end of a heading continues with a Normal paragraph.
    void setFollowingParagraphFormat();
    // The open page's document, fetched again should the notebook's cache
    // have dropped it since it was opened (null when no page is open).
    PageDocument* currentPage();
    void report(const Status& status);

    NotebookStore& store_;
    PageEditor& editor_;
    KeywordsField* keywords_;
    QWidget* window_;
    PageDocument* openPage_ = nullptr;
    std::u16string openName_;
    Reporter reporter_;
    bool followingFormatSet_ = false;
};

}  // namespace tavix
