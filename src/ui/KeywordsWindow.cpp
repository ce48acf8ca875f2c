#include "ui/KeywordsWindow.h"

#include "editor/PageEditor.h"

namespace tavix {

KeywordsWindow::KeywordsWindow(QWidget* parent)
    : QDockWidget(QStringLiteral("Keywords"), parent), editor_(new PageEditor(this)) {
    // A stable name lets the main window save and restore where the pane sits.
    setObjectName(QStringLiteral("KeywordsWindow"));
    editor_->setObjectName(QStringLiteral("KeywordsEditor"));
    setWidget(editor_);
    resize(400, 100);
    // The pane starts hidden; the user shows it with View > Page Keywords.
    hide();
}

void KeywordsWindow::SetKeywords(const std::u16string& keywords) { editor_->SetPlainText(keywords); }

std::u16string KeywordsWindow::GetKeywords() const { return editor_->GetPlainText(); }

bool KeywordsWindow::IsModified() const { return editor_->IsModified(); }

void KeywordsWindow::ClearModified() { editor_->SetModified(false); }

bool KeywordsWindow::Toggle() {
    // The pane's own shown/hidden state, whether or not the main window is
    // on screen yet.
    const bool wasVisible = !isHidden();
    setVisible(!wasVisible);
    if (!wasVisible)
        raise();
    return wasVisible;
}

}  // namespace tavix
