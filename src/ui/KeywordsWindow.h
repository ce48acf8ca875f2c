#pragma once
// The "Keywords" pane: a dock widget holding a second page editor in which
// the open page's keywords are edited.
#include <string>

#include <QDockWidget>

namespace tavix {

class PageEditor;

class KeywordsWindow : public QDockWidget {
    Q_OBJECT
public:
    explicit KeywordsWindow(QWidget* parent = nullptr);

    // Replaces the text (undo history emptied), marks link words, clears
    // the modified flag.
    void SetKeywords(const std::u16string& keywords);
    // The whole text; line breaks come back as "\r".
    std::u16string GetKeywords() const;
    bool IsModified() const;
    void ClearModified();
    // Hides the pane if visible, shows it otherwise; returns whether it was visible.
    bool Toggle();

    PageEditor& editor() { return *editor_; }

private:
    PageEditor* editor_;
};

}  // namespace tavix
