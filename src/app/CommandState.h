#pragma once
// Enabled and checked states of the main window's commands, worked out from
// what the editor, the history and the panes report. Holds no widgets: the
// window gathers the inputs, runs Update and applies the result to its
// actions, so the rules can be checked on their own.
#include <map>

namespace tavix {

// What one pass needs to know; every field is a cheap question to the
// editor, the clipboard, the history or a pane.
struct CommandInputs {
    bool canUndo = false;
    bool canRedo = false;
    bool canPaste = false;          // the clipboard holds text the editor takes
    bool selectionEmpty = true;     // of the page editor
    bool hasText = false;           // the page editor holds any text
    bool canGoBack = false;
    bool canGoForward = false;
    bool modified = false;          // page editor or keywords editor
    bool keywordsVisible = false;
    bool editorHasFocus = false;    // the page editor has the keyboard focus
    int styleIndex = 0;             // paragraph style at the selection, 0..6
    unsigned effects = 0;           // character effect bits of the selection
};

class CommandState {
public:
    struct State {
        bool enabled = true;
        bool checked = false;
    };

    // Starts with every command enabled, the two tool bar and the status
    // bar toggles checked, and Normal checked.
    CommandState();

    // One pass. The paragraph style checks (and the style shown by the
    // combo box) follow the editor only while it has the focus; otherwise
    // they keep their last state. The toggles of the bars are left alone.
    void Update(const CommandInputs& in);

    bool isEnabled(int id) const;
    bool isChecked(int id) const;
    // For the commands that set their own check (the bar toggles).
    void setChecked(int id, bool checked);

    // The style index the combo box should show.
    int styleIndex() const { return styleIndex_; }

    const std::map<int, State>& states() const { return states_; }

private:
    std::map<int, State> states_;
    int styleIndex_ = 0;
};

}  // namespace tavix
