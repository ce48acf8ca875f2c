#include "app/CommandTable.h"

#include <vector>

namespace tavix {
namespace {

using K = QKeySequence;
constexpr auto None = ToolBarId::None;
constexpr auto Std = ToolBarId::Standard;
constexpr auto Fmt = ToolBarId::Formatting;

const QString kFile = QStringLiteral("&File");
const QString kEdit = QStringLiteral("&Edit");
const QString kView = QStringLiteral("&View");
const QString kToolbars = QStringLiteral("&View/&Toolbars");
const QString kNavigation = QStringLiteral("&Navigation");
const QString kFormat = QStringLiteral("F&ormat");
const QString kParagraphStyle = QStringLiteral("F&ormat/Paragraph St&yle");
const QString kHelp = QStringLiteral("&Help");

std::vector<CommandInfo> buildCommands() {
    std::vector<CommandInfo> c = {
        {cmd::Save, kFile, "&Save", {K(Qt::CTRL | Qt::Key_S)},
         "Save the active document\nSave", None, false, "document-save"},
        {cmd::Print, kFile, "&Print...", {K(Qt::CTRL | Qt::Key_P)},
         "Print the active document\nPrint", Std, false, "document-print"},
        {cmd::PrintPreview, kFile, "Print Pre&view", {},
         "Display full pages\nPrint Preview", None, false, "document-print-preview"},
        {cmd::PrintSetup, kFile, "P&rint Setup...", {},
         "Change the printer and printing options\nPrint Setup", None, false,
         "document-page-setup"},
        {cmd::NewPage, kFile, "&New Page...", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_N)},
         "Make a new page and open it\nNew Page", None, false, "document-new"},
        {cmd::RenamePage, kFile, "Rena&me Page...", {K(Qt::Key_F2)},
         "Give this page another name, and its links with it\nRename Page", None, false, ""},
        {cmd::DeletePage, kFile, "&Delete Page...", {},
         "Move this page to the trash\nDelete Page", None, false, "user-trash"},
        {cmd::ExportHtml, kFile, "&Export Notebook as HTML...", {},
         "Write every page into a folder as a website\nExport Notebook as HTML", None, false, ""},
        {cmd::Exit, kFile, "E&xit", {},
         "Quit the application, saving the open page\nExit", None, false, "application-exit"},

        {cmd::Undo, kEdit, "&Undo", {K(Qt::CTRL | Qt::Key_Z), K(Qt::ALT | Qt::Key_Backspace)},
         "Undo the last action\nUndo", None, false, "edit-undo"},
        {cmd::Redo, kEdit, "&Redo", {K(Qt::CTRL | Qt::Key_Y)},
         "Redo the previously undone action\nRedo", None, false, "edit-redo"},
        {cmd::Cut, kEdit, "Cu&t", {K(Qt::CTRL | Qt::Key_X), K(Qt::SHIFT | Qt::Key_Delete)},
         "Cut the selection and put it on the Clipboard\nCut", Std, false, "edit-cut"},
        {cmd::Copy, kEdit, "&Copy", {K(Qt::CTRL | Qt::Key_C), K(Qt::CTRL | Qt::Key_Insert)},
         "Copy the selection and put it on the Clipboard\nCopy", Std, false, "edit-copy"},
        {cmd::Paste, kEdit, "&Paste", {K(Qt::CTRL | Qt::Key_V), K(Qt::SHIFT | Qt::Key_Insert)},
         "Insert the Clipboard contents as plain text\nPaste", Std, false, "edit-paste"},
        {cmd::Clear, kEdit, "Cle&ar", {K(Qt::Key_Delete)},
         "Erase the selection\nErase", None, false, "edit-delete"},
        {cmd::SelectAll, kEdit, "Select A&ll", {K(Qt::CTRL | Qt::Key_A)},
         "Select the entire page\nSelect All", None, false, "edit-select-all"},
        {cmd::SelectParagraph, kEdit, "Select Para&graph", {},
         "Select the paragraph that holds the caret\nSelect Paragraph", None, false, ""},
        {cmd::Find, kEdit, "&Find...", {K(Qt::CTRL | Qt::Key_F)},
         "Find the specified text in this page\nFind", None, false, "edit-find"},
        {cmd::FindPages, kEdit, "Find Pag&es...", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
         "List the pages that match a regular expression\nFind Pages", None, false,
         "system-search"},

        {cmd::ToolbarStandard, kToolbars, "&Standard", {},
         "Show or hide the standard toolbar\nToggle Standard Toolbar", None, true, ""},
        {cmd::ToolbarFormatting, kToolbars, "&Formatting", {},
         "Show or hide the formatting toolbar\nToggle Formatting Toolbar", None, true, ""},
        {cmd::StatusBar, kView, "&Status Bar", {},
         "Show or hide the status bar\nToggle Status Bar", None, true, ""},
        {cmd::PageKeywords, kView, "Page &Keywords", {},
         "Show or hide the keywords of this page\nPage Keywords", None, true, ""},
        {cmd::AllPages, kView, "&All Pages", {},
         "Show or hide the list of every page\nAll Pages", None, true, ""},
        {cmd::Backlinks, kView, "&Backlinks", {},
         "Show or hide the pages that link to this page\nBacklinks", None, true, ""},
        {cmd::FoundPages, kView, "Found &Pages", {},
         "Show or hide the pages the last Find Pages found\nFound Pages", None, true, ""},
        {cmd::ZoomIn, kView, "Zoom &In", {K(Qt::CTRL | Qt::Key_Plus), K(Qt::CTRL | Qt::Key_Equal)},
         "Show the page larger, without changing its sizes\nZoom In", None, false, "zoom-in"},
        {cmd::ZoomOut, kView, "Zoom &Out", {K(Qt::CTRL | Qt::Key_Minus)},
         "Show the page smaller, without changing its sizes\nZoom Out", None, false, "zoom-out"},
        {cmd::ActualSize, kView, "Act&ual Size", {K(Qt::CTRL | Qt::Key_0)},
         "Show the page at its own sizes\nActual Size", None, false, "zoom-original"},

        {cmd::Back, kNavigation, "&Back", {K(Qt::ALT | Qt::Key_Left), K(Qt::Key_Back)},
         "Go back to the previous page\nBack", Std, false, "go-previous"},
        {cmd::Forward, kNavigation, "&Forward", {K(Qt::ALT | Qt::Key_Right), K(Qt::Key_Forward)},
         "Go forward to the next page\nForward", Std, false, "go-next"},
        {cmd::FrontPage, kNavigation, "Front &Page", {K(Qt::ALT | Qt::Key_Home), K(Qt::Key_HomePage)},
         "Return to FrontPage", Std, false, "go-home"},
        {cmd::JumpToPage, kNavigation, "&Jump to Page...", {K(Qt::CTRL | Qt::Key_J)},
         "Open a page by its name or title\nJump to Page", None, false, "go-jump"},

        {cmd::StyleNormal, kParagraphStyle, "&Normal", {K(Qt::CTRL | Qt::Key_N)},
         "Apply the Normal paragraph style\nNormal", None, true, ""},
    };
    for (int n = 1; n <= 6; ++n) {
        const QString level = QString::number(n);
        c.push_back({cmd::styleCommand(n), kParagraphStyle, "Heading &" + level,
                     {K(QKeyCombination(Qt::CTRL, Qt::Key(Qt::Key_0 + n)))},
                     "Apply the Heading " + level + " paragraph style\nHeading " + level, None,
                     true, ""});
    }
    std::vector<CommandInfo> rest = {
        {cmd::StyleCombo, "", "Paragraph Style", {},
         "Apply a paragraph style\nParagraph Style", Fmt, false, ""},
        {cmd::Bold, kFormat, "&Bold", {K(Qt::CTRL | Qt::Key_B)}, "Bold\nBold", Fmt, true,
         "format-text-bold"},
        {cmd::Italic, kFormat, "&Italic", {K(Qt::CTRL | Qt::Key_I)}, "Italic\nItalic", Fmt, true,
         "format-text-italic"},
        {cmd::Underline, kFormat, "&Underline", {K(Qt::CTRL | Qt::Key_U)},
         "Underline\nUnderline", Fmt, true, "format-text-underline"},
        {cmd::Strikethrough, kFormat, "S&trikethrough", {}, "Strikethrough\nStrikethrough", Fmt,
         true, "format-text-strikethrough"},
        {cmd::Superscript, kFormat, "Su&perscript", {}, "Superscript\nSuperscript", Fmt, true,
         "format-text-superscript"},
        {cmd::Subscript, kFormat, "&Subscript", {}, "Subscript\nSubscript", Fmt, true,
         "format-text-subscript"},
        {cmd::Styles, kFormat, "Styl&es...", {},
         "Change the fonts and spacing of the paragraph styles\nStyles", None, false, ""},

        {cmd::Help, kHelp, "Tavix &Help", {K(Qt::Key_F1)},
         "Explain link words, styles, search, keys and where files are kept\nTavix Help", None,
         false, "help-contents"},
        {cmd::ReportProblem, kHelp, "&Report a Problem...", {},
         "Gather system information for a problem report\nReport a Problem", None, false, ""},
        {cmd::About, kHelp, "&About TavixApp...", {},
         "Display program information and version\nAbout", None, false, "help-about"},
    };
    c.insert(c.end(), rest.begin(), rest.end());
    return c;
}

const std::vector<CommandInfo>& commands() {
    static const std::vector<CommandInfo> table = buildCommands();
    return table;
}

LayoutItem item(int id) { return {LayoutItem::Command, id, {}}; }
LayoutItem separator() { return {LayoutItem::Separator, 0, {}}; }
LayoutItem begin(const char* title) { return {LayoutItem::BeginMenu, 0, QString::fromUtf8(title)}; }
LayoutItem end() { return {LayoutItem::EndMenu, 0, {}}; }

std::vector<LayoutItem> paragraphStyleMenu() {
    std::vector<LayoutItem> m = {begin("Paragraph St&yle")};
    for (int n = 0; n <= 6; ++n)
        m.push_back(item(cmd::styleCommand(n)));
    m.push_back(end());
    return m;
}

std::vector<LayoutItem> buildMenuBar() {
    std::vector<LayoutItem> m = {
        begin("&File"), item(cmd::NewPage), item(cmd::Save), item(cmd::RenamePage),
        item(cmd::DeletePage), separator(), item(cmd::ExportHtml), separator(),
        item(cmd::Print), item(cmd::PrintPreview),
        item(cmd::PrintSetup), separator(), item(cmd::Exit), end(),

        begin("&Edit"), item(cmd::Undo), item(cmd::Redo), separator(), item(cmd::Cut),
        item(cmd::Copy), item(cmd::Paste), separator(), item(cmd::Clear), item(cmd::SelectAll),
        item(cmd::SelectParagraph), separator(), item(cmd::Find), item(cmd::FindPages), end(),

        begin("&View"), begin("&Toolbars"), item(cmd::ToolbarStandard),
        item(cmd::ToolbarFormatting), end(), item(cmd::StatusBar), separator(),
        item(cmd::PageKeywords), item(cmd::AllPages), item(cmd::Backlinks), item(cmd::FoundPages),
        separator(), item(cmd::ZoomIn), item(cmd::ZoomOut), item(cmd::ActualSize), end(),

        begin("&Navigation"), item(cmd::Back), item(cmd::Forward), item(cmd::FrontPage),
        separator(), item(cmd::JumpToPage), end(),

        begin("F&ormat"),
    };
    for (const LayoutItem& i : paragraphStyleMenu())
        m.push_back(i);
    const std::vector<LayoutItem> tail = {
        separator(), item(cmd::Bold), item(cmd::Italic), item(cmd::Underline),
        item(cmd::Strikethrough), separator(), item(cmd::Superscript), item(cmd::Subscript),
        separator(), item(cmd::Styles), end(),

        begin("&Help"), item(cmd::Help), separator(), item(cmd::ReportProblem), separator(),
        item(cmd::About), end(),
    };
    m.insert(m.end(), tail.begin(), tail.end());
    return m;
}

std::vector<LayoutItem> buildContextMenu() {
    std::vector<LayoutItem> m = {item(cmd::Cut), item(cmd::Copy), item(cmd::Paste), separator()};
    for (const LayoutItem& i : paragraphStyleMenu())
        m.push_back(i);
    const std::vector<LayoutItem> tail = {separator(), item(cmd::Bold), item(cmd::Italic),
                                          item(cmd::Underline)};
    m.insert(m.end(), tail.begin(), tail.end());
    return m;
}

}  // namespace

std::span<const CommandInfo> CommandTable::all() { return commands(); }

const CommandInfo* CommandTable::find(int id) {
    for (const CommandInfo& c : commands())
        if (c.id == id)
            return &c;
    return nullptr;
}

std::span<const LayoutItem> CommandTable::menuBar() {
    static const std::vector<LayoutItem> layout = buildMenuBar();
    return layout;
}

std::span<const LayoutItem> CommandTable::standardToolBar() {
    static const std::vector<LayoutItem> layout = {
        item(cmd::FrontPage), separator(), item(cmd::Back), item(cmd::Forward), separator(),
        item(cmd::Cut), item(cmd::Copy), item(cmd::Paste), separator(), item(cmd::Print)};
    return layout;
}

std::span<const LayoutItem> CommandTable::formattingToolBar() {
    static const std::vector<LayoutItem> layout = {
        item(cmd::StyleCombo), separator(), item(cmd::Bold), item(cmd::Italic),
        item(cmd::Underline), item(cmd::Strikethrough), separator(), item(cmd::Superscript),
        item(cmd::Subscript)};
    return layout;
}

std::span<const LayoutItem> CommandTable::editorContextMenu() {
    static const std::vector<LayoutItem> layout = buildContextMenu();
    return layout;
}

QList<QString> CommandTable::styleNames() {
    return {"Normal", "Heading 1", "Heading 2", "Heading 3", "Heading 4", "Heading 5",
            "Heading 6"};
}

}  // namespace tavix
