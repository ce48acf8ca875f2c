#pragma once
// The main window's commands as data: numeric id, where the command sits in
// the menus, its text with mnemonic, its keys, its status prompt and tool
// tip, and which tool bar carries it. The window builds its menus, tool bars
// and context menu from these tables, so they can be checked without a
// window.
#include <span>

#include <QKeySequence>
#include <QList>
#include <QString>

namespace tavix {

// Command ids. The low numbers are the program's own; the 57xxx and 59xxx
// ones keep the values that common commands have always carried here.
namespace cmd {
enum : int {
    Save = 57603,
    Print = 57607,
    PrintPreview = 57609,
    PrintSetup = 57606,
    Exit = 57665,
    Undo = 57643,
    Redo = 57644,
    Cut = 57635,
    Copy = 57634,
    Paste = 57637,
    Clear = 57632,
    ClearAll = 57633,
    SelectAll = 57642,
    SelectParagraph = 239,
    Find = 57636,
    FindPages = 253,
    ToolbarStandard = 220,
    ToolbarFormatting = 221,
    StatusBar = 59393,
    PageKeywords = 246,
    Back = 32773,
    Forward = 32774,
    FrontPage = 32772,
    StyleNormal = 219,
    StyleHeading1 = 213,  // Heading n is 212 + n
    StyleHeading6 = 218,
    StyleCombo = 102,
    Bold = 32776,
    Italic = 32775,
    Underline = 32777,
    Strikethrough = 32779,
    Superscript = 32782,
    Subscript = 32783,
    Styles = 227,
    ReportProblem = 257,
    About = 57664,
    // The notebook as a whole.
    AllPages = 301,
    Backlinks = 302,
    JumpToPage = 303,
    NewPage = 304,
    RenamePage = 305,
    DeletePage = 306,
    FoundPages = 307,
    Help = 308,
    ExportHtml = 309,
    // The view of the page.
    ZoomIn = 311,
    ZoomOut = 312,
    ActualSize = 313,
};

// The command applying paragraph style index 0..6, and back; -1 when id is
// not a paragraph style command.
constexpr int styleCommand(int index) { return index == 0 ? StyleNormal : 212 + index; }
constexpr int styleIndexOf(int id) {
    if (id == StyleNormal)
        return 0;
    if (id >= StyleHeading1 && id <= StyleHeading6)
        return id - 212;
    return -1;
}
}  // namespace cmd

enum class ToolBarId { None, Standard, Formatting };

struct CommandInfo {
    int id;
    // Menu titles from the menu bar down, "/" between levels, with their
    // mnemonics ("&Format/Paragraph St&yle"); empty for a command that is
    // only on a tool bar.
    QString menuPath;
    QString text;                    // "&Save"
    QList<QKeySequence> shortcuts;   // the first is the one menus show
    // The command's string: status prompt, then "\n" and the tool tip when
    // there is one.
    QString promptString;
    ToolBarId bar;
    bool checkable;
    // Icon name in the desktop's icon theme; empty for none.
    QString iconName;

    QString prompt() const { return promptString.section(u'\n', 0, 0); }
    QString toolTip() const {
        return promptString.contains(u'\n') ? promptString.section(u'\n', 1) : QString();
    }
};

// One element of a menu or tool bar layout.
struct LayoutItem {
    enum Kind { Command, Separator, BeginMenu, EndMenu };
    Kind kind;
    int id = 0;      // Command
    QString title;   // BeginMenu
};

class CommandTable {
public:
    // Every command of the window, in menu order.
    static std::span<const CommandInfo> all();
    // The command of that id, or null.
    static const CommandInfo* find(int id);

    // The menu bar: BeginMenu/EndMenu pairs, nested for submenus.
    static std::span<const LayoutItem> menuBar();
    static std::span<const LayoutItem> standardToolBar();
    // The style combo box stands as command StyleCombo.
    static std::span<const LayoutItem> formattingToolBar();
    static std::span<const LayoutItem> editorContextMenu();

    // The paragraph style names, in style index order, as the combo box lists them.
    static QList<QString> styleNames();
};

}  // namespace tavix
