#include "app/CommandState.h"

#include "app/CommandTable.h"
#include "editor/PageEditor.h"

namespace tavix {

CommandState::CommandState() {
    for (const CommandInfo& c : CommandTable::all())
        states_[c.id] = State{};
    states_[cmd::ToolbarStandard].checked = true;
    states_[cmd::ToolbarFormatting].checked = true;
    states_[cmd::StatusBar].checked = true;
    states_[cmd::StyleNormal].checked = true;
}

void CommandState::Update(const CommandInputs& in) {
    if (in.editorHasFocus) {
        styleIndex_ = (in.styleIndex >= 0 && in.styleIndex <= 6) ? in.styleIndex : 0;
        for (int n = 0; n <= 6; ++n)
            states_[cmd::styleCommand(n)].checked = (n == styleIndex_);
    }

    const unsigned fx = in.effects;
    states_[cmd::Bold].checked = fx & PageEditor::Bold;
    states_[cmd::Italic].checked = fx & PageEditor::Italic;
    states_[cmd::Underline].checked = fx & PageEditor::Underline;
    states_[cmd::Strikethrough].checked = fx & PageEditor::Strikeout;
    states_[cmd::Superscript].checked = fx & PageEditor::Superscript;
    states_[cmd::Subscript].checked = fx & PageEditor::Subscript;
    states_[cmd::PageKeywords].checked = in.keywordsVisible;

    states_[cmd::Undo].enabled = in.canUndo;
    states_[cmd::Redo].enabled = in.canRedo;
    states_[cmd::Paste].enabled = in.canPaste;
    states_[cmd::Cut].enabled = !in.selectionEmpty;
    states_[cmd::Copy].enabled = !in.selectionEmpty;
    states_[cmd::Clear].enabled = !in.selectionEmpty;
    states_[cmd::SelectAll].enabled = in.hasText;
    states_[cmd::Back].enabled = in.canGoBack;
    states_[cmd::Forward].enabled = in.canGoForward;
    states_[cmd::Save].enabled = in.modified;
}

bool CommandState::isEnabled(int id) const {
    auto it = states_.find(id);
    return it == states_.end() || it->second.enabled;
}

bool CommandState::isChecked(int id) const {
    auto it = states_.find(id);
    return it != states_.end() && it->second.checked;
}

void CommandState::setChecked(int id, bool checked) { states_[id].checked = checked; }

}  // namespace tavix
