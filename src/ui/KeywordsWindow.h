#pragma once
// The "Keywords" pane: a dock widget holding a second page editor in which
// the open page's keywords are edited.
#include <string>

#include <QDockWidget>

#include "editor/KeywordsField.h"

namespace tavix {

class PageEditor;

class KeywordsWindow : public QDockWidget, public KeywordsField {
    Q_OBJECT
public:
    explicit KeywordsWindow(QWidget* parent = nullptr);

    // Replaces the text (undo history emptied), marks link words, clears
    // the modified flag.
    void SetKeywords(const std::u16string& keywords) override;
    // The whole text; line breaks come back as "\r".
    std::u16string GetKeywords() const override;
    bool IsModified() const override;
    void ClearModified() override;
    // Hides the pane if visible, shows it otherwise; returns whether it was visible.
    bool Toggle();

    PageEditor& editor() { return *editor_; }

private:
    PageEditor* editor_;
};

}  // namespace tavix
