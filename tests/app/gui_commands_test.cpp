// The command table, and the menus, tool bars, context menu and toggles the
// main window builds from it.
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QWidgetAction>

#include "app/FrameFixture.h"

namespace tavix::test {
namespace {

struct Expected {
    int id;
    QString menu;
    QString text;
    QList<QKeySequence> keys;
    ToolBarId bar;
};

QList<Expected> expectedCommands() {
    using K = QKeySequence;
    const auto N = ToolBarId::None, S = ToolBarId::Standard, F = ToolBarId::Formatting;
    QList<Expected> e = {
        {304, "&File", "&New Page...", {K("Ctrl+Shift+N")}, N},
        {57603, "&File", "&Save", {K("Ctrl+S")}, N},
        {305, "&File", "Rena&me Page...", {K("F2")}, N},
        {306, "&File", "&Delete Page...", {}, N},
        {309, "&File", "&Export Notebook as HTML...", {}, N},
        {57607, "&File", "&Print...", {K("Ctrl+P")}, S},
        {57609, "&File", "Print Pre&view", {}, N},
        {57606, "&File", "P&rint Setup...", {}, N},
        {57665, "&File", "E&xit", {}, N},
        {57643, "&Edit", "&Undo", {K("Ctrl+Z"), K("Alt+Backspace")}, N},
        {57644, "&Edit", "&Redo", {K("Ctrl+Y")}, N},
        {57635, "&Edit", "Cu&t", {K("Ctrl+X"), K("Shift+Del")}, S},
        {57634, "&Edit", "&Copy", {K("Ctrl+C"), K("Ctrl+Ins")}, S},
        {57637, "&Edit", "&Paste", {K("Ctrl+V"), K("Shift+Ins")}, S},
        {57632, "&Edit", "Cle&ar", {K("Del")}, N},
        {57642, "&Edit", "Select A&ll", {K("Ctrl+A")}, N},
        {239, "&Edit", "Select Para&graph", {}, N},
        {57636, "&Edit", "&Find...", {K("Ctrl+F")}, N},
        {253, "&Edit", "Find Pag&es...", {K("Ctrl+Shift+F")}, N},
        {220, "&View/&Toolbars", "&Standard", {}, N},
        {221, "&View/&Toolbars", "&Formatting", {}, N},
        {59393, "&View", "&Status Bar", {}, N},
        {246, "&View", "Page &Keywords", {}, N},
        {301, "&View", "&All Pages", {}, N},
        {302, "&View", "&Backlinks", {}, N},
        {307, "&View", "Found &Pages", {}, N},
        {311, "&View", "Zoom &In", {K("Ctrl++"), K("Ctrl+=")}, N},
        {312, "&View", "Zoom &Out", {K("Ctrl+-")}, N},
        {313, "&View", "Act&ual Size", {K("Ctrl+0")}, N},
        {32773, "&Navigation", "&Back", {K("Alt+Left"), K(Qt::Key_Back)}, S},
        {32774, "&Navigation", "&Forward", {K("Alt+Right"), K(Qt::Key_Forward)}, S},
        {32772, "&Navigation", "Front &Page", {K("Alt+Home"), K(Qt::Key_HomePage)}, S},
        {303, "&Navigation", "&Jump to Page...", {K("Ctrl+J")}, N},
        {219, "F&ormat/Paragraph St&yle", "&Normal", {K("Ctrl+N")}, N},
    };
    for (int n = 1; n <= 6; ++n)
        e.append({212 + n, "F&ormat/Paragraph St&yle", QString("Heading &%1").arg(n),
                  {K(QString("Ctrl+%1").arg(n))}, N});
    e += QList<Expected>{
        {102, "", "Paragraph Style", {}, F},
        {32776, "F&ormat", "&Bold", {K("Ctrl+B")}, F},
        {32775, "F&ormat", "&Italic", {K("Ctrl+I")}, F},
        {32777, "F&ormat", "&Underline", {K("Ctrl+U")}, F},
        {32779, "F&ormat", "S&trikethrough", {}, F},
        {32782, "F&ormat", "Su&perscript", {}, F},
        {32783, "F&ormat", "&Subscript", {}, F},
        {227, "F&ormat", "Styl&es...", {}, N},
        {308, "&Help", "Tavix &Help", {K("F1")}, N},
        {257, "&Help", "&Report a Problem...", {}, N},
        {57664, "&Help", "&About TavixApp...", {}, N},
    };
    return e;
}

TEST(CommandTable, MatchesTheDocumentedCommands) {
    const QList<Expected> expected = expectedCommands();
    ASSERT_EQ(CommandTable::all().size(), std::size_t(expected.size()));
    for (const Expected& x : expected) {
        const CommandInfo* c = CommandTable::find(x.id);
        ASSERT_NE(c, nullptr) << x.id;
        EXPECT_EQ(c->menuPath, x.menu) << x.id;
        if (x.id != cmd::StyleCombo) {
            EXPECT_EQ(c->text, x.text) << x.id;
        }
        EXPECT_EQ(c->shortcuts, x.keys) << x.id;
        EXPECT_EQ(c->bar, x.bar) << x.id;
        EXPECT_FALSE(c->prompt().isEmpty()) << x.id;
    }
    EXPECT_EQ(CommandTable::find(12345), nullptr);
}

TEST(CommandTable, PromptsAndToolTips) {
    EXPECT_EQ(CommandTable::find(cmd::Save)->promptString, "Save the active document\nSave");
    EXPECT_EQ(CommandTable::find(cmd::Save)->prompt(), "Save the active document");
    EXPECT_EQ(CommandTable::find(cmd::Save)->toolTip(), "Save");
    EXPECT_EQ(CommandTable::find(cmd::Italic)->promptString, "Italic\nItalic");
    EXPECT_EQ(CommandTable::find(cmd::Superscript)->promptString, "Superscript\nSuperscript");
    EXPECT_EQ(CommandTable::find(cmd::Subscript)->promptString, "Subscript\nSubscript");
    EXPECT_EQ(CommandTable::find(cmd::FrontPage)->promptString, "Return to FrontPage");
    EXPECT_TRUE(CommandTable::find(cmd::FrontPage)->toolTip().isEmpty());
    // Every command on a bar has something to show when hovered.
    for (const CommandInfo& c : CommandTable::all())
        if (c.bar != ToolBarId::None && c.id != cmd::FrontPage) {
            EXPECT_FALSE(c.toolTip().isEmpty()) << c.id;
        }
}

TEST(CommandTable, StyleCommandsMapToStyleIndexes) {
    EXPECT_EQ(cmd::styleCommand(0), 219);
    EXPECT_EQ(cmd::styleCommand(4), 216);
    EXPECT_EQ(cmd::styleIndexOf(219), 0);
    EXPECT_EQ(cmd::styleIndexOf(213), 1);
    EXPECT_EQ(cmd::styleIndexOf(218), 6);
    EXPECT_EQ(cmd::styleIndexOf(212), -1);
    EXPECT_EQ(cmd::styleIndexOf(220), -1);
    EXPECT_EQ(CommandTable::styleNames(),
              QStringList({"Normal", "Heading 1", "Heading 2", "Heading 3", "Heading 4",
                           "Heading 5", "Heading 6"}));
}

// A menu as text: item texts, "-" for separators, submenus as
// ">Title{item|item}".
QStringList describe(const QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            out << "-";
        else if (a->menu())
            out << ">" + a->text() + "{" + describe(a->menu()).join("|") + "}";
        else
            out << a->text();
    }
    return out;
}

QStringList describe(const QToolBar* bar) {
    QStringList out;
    for (QAction* a : bar->actions()) {
        if (a->isSeparator())
            out << "-";
        else if (qobject_cast<QWidgetAction*>(a))
            out << "combo";
        else
            out << QString::number(a->data().toInt());
    }
    return out;
}

using CommandsTest = FrameFixture;

TEST_F(CommandsTest, MenusStandInTheDocumentedOrder) {
    MainFrame& f = openFrame();
    QStringList titles;
    QMap<QString, QStringList> menus;
    for (QAction* a : f.menuBar()->actions()) {
        titles << a->text();
        menus[a->text()] = describe(a->menu());
    }
    EXPECT_EQ(titles, QStringList({"&File", "&Edit", "&View", "&Navigation", "F&ormat", "&Help"}));
    EXPECT_EQ(menus["&File"], QStringList({"&New Page...", "&Save", "Rena&me Page...", "&Delete Page...",
                                           "-", "&Export Notebook as HTML...", "-",
                                           "&Print...", "Print Pre&view",
                                           "P&rint Setup...", "-", "E&xit"}));
    EXPECT_EQ(menus["&Edit"],
              QStringList({"&Undo", "&Redo", "-", "Cu&t", "&Copy", "&Paste", "-", "Cle&ar",
                           "Select A&ll", "Select Para&graph", "-", "&Find...", "Find Pag&es..."}));
    EXPECT_EQ(menus["&View"], QStringList({">&Toolbars{&Standard|&Formatting}", "&Status Bar", "-",
                                           "Page &Keywords", "&All Pages", "&Backlinks",
                                           "Found &Pages", "-", "Zoom &In", "Zoom &Out",
                                           "Act&ual Size"}));
    EXPECT_EQ(menus["&Navigation"], QStringList({"&Back", "&Forward", "Front &Page", "-", "&Jump to Page..."}));
    const QString styles =
        ">Paragraph St&yle{&Normal|Heading &1|Heading &2|Heading &3|Heading &4|Heading &5|Heading &6}";
    EXPECT_EQ(menus["F&ormat"],
              QStringList({styles, "-", "&Bold", "&Italic", "&Underline", "S&trikethrough", "-",
                           "Su&perscript", "&Subscript", "-", "Styl&es..."}));
    EXPECT_EQ(menus["&Help"], QStringList({"Tavix &Help", "-", "&Report a Problem...", "-",
                                           "&About TavixApp..."}));
    EXPECT_EQ(describe(f.editorContextMenu()),
              QStringList({"Cu&t", "&Copy", "&Paste", "-", styles, "-", "&Bold", "&Italic",
                           "&Underline"}));
}

TEST_F(CommandsTest, ActionsCarryTheirIdsKeysAndPrompts) {
    MainFrame& f = openFrame();
    for (const CommandInfo& c : CommandTable::all()) {
        if (c.id == cmd::StyleCombo)
            continue;
        QAction* a = f.action(c.id);
        ASSERT_NE(a, nullptr) << c.id;
        EXPECT_EQ(a->data().toInt(), c.id);
        EXPECT_EQ(a->shortcuts(), c.shortcuts) << c.id;
        EXPECT_EQ(a->statusTip(), c.prompt()) << c.id;
        if (!c.toolTip().isEmpty()) {
            // The tool tip names the command's first key when it has one.
            const QString keys = c.shortcuts.isEmpty()
                                     ? QString()
                                     : " (" + c.shortcuts.first().toString(QKeySequence::NativeText) + ")";
            EXPECT_EQ(a->toolTip(), c.toolTip() + keys) << c.id;
        }
    }
    EXPECT_EQ(f.action(cmd::StyleCombo), nullptr);
}

TEST_F(CommandsTest, ToolBarsHoldTheirButtonsAndNoneIsBlank) {
    MainFrame& f = openFrame();
    EXPECT_EQ(describe(f.standardBar()),
              QStringList({"32772", "-", "32773", "32774", "-", "57635", "57634", "57637", "-",
                           "57607"}));
    EXPECT_EQ(describe(f.formattingBar()),
              QStringList({"combo", "-", "32776", "32775", "32777", "32779", "-", "32782",
                           "32783"}));
    for (QToolBar* bar : {f.standardBar(), f.formattingBar()}) {
        for (QAction* a : bar->actions()) {
            if (!a->isSeparator() && !qobject_cast<QWidgetAction*>(a)) {
                EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->data().toInt();
            }
        }
    }
    for (int id : {cmd::Bold, cmd::Italic, cmd::Underline, cmd::Strikethrough, cmd::Superscript,
                   cmd::Subscript})
        EXPECT_TRUE(f.action(id)->isCheckable()) << id;

    QComboBox* combo = f.styleCombo();
    ASSERT_EQ(combo->count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(combo->itemText(i), CommandTable::styleNames()[i]);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->lineEdit()->maxLength(), 10);
}

TEST_F(CommandsTest, HidingAndShowingBarsKeepsTheirPlaceAndChecks) {
    MainFrame& f = openFrame();
    f.runCommand(cmd::ToolbarStandard);
    EXPECT_TRUE(f.standardBar()->isHidden());
    EXPECT_FALSE(f.action(cmd::ToolbarStandard)->isChecked());
    f.runCommand(cmd::ToolbarStandard);
    EXPECT_FALSE(f.standardBar()->isHidden());
    EXPECT_TRUE(f.action(cmd::ToolbarStandard)->isChecked());
    EXPECT_EQ(f.toolBarArea(f.standardBar()), Qt::TopToolBarArea);
    EXPECT_TRUE(f.toolBarBreak(f.formattingBar()));

    f.runCommand(cmd::ToolbarFormatting);
    EXPECT_TRUE(f.formattingBar()->isHidden());
    settle(f);  // the pass leaves these checks alone
    EXPECT_FALSE(f.action(cmd::ToolbarFormatting)->isChecked());
    f.runCommand(cmd::ToolbarFormatting);
    EXPECT_FALSE(f.formattingBar()->isHidden());

    f.runCommand(cmd::StatusBar);
    EXPECT_TRUE(f.statusBar()->isHidden());
    EXPECT_FALSE(f.action(cmd::StatusBar)->isChecked());
    f.runCommand(cmd::StatusBar);
    EXPECT_FALSE(f.statusBar()->isHidden());
    EXPECT_TRUE(f.action(cmd::StatusBar)->isChecked());

    f.runCommand(cmd::PageKeywords);
    EXPECT_FALSE(f.keywordsPane().isHidden());
    EXPECT_TRUE(f.action(cmd::PageKeywords)->isChecked());
    f.runCommand(cmd::PageKeywords);
    EXPECT_TRUE(f.keywordsPane().isHidden());
    EXPECT_FALSE(f.action(cmd::PageKeywords)->isChecked());
}

TEST_F(CommandsTest, StyleComboFollowsTheCaretOnlyWhileTheEditorHasFocus) {
    MainFrame& f = openFrame();
    PageEditor& e = f.editor();
    // The front page: "Front Page" (Heading 1), then an empty Normal paragraph.
    ASSERT_EQ(e.paragraphStyleAt(0), 1);
    e.setFocus();
    e.setSelection(0, 0);
    settle(f);
    ASSERT_TRUE(e.hasFocus());
    EXPECT_EQ(f.styleCombo()->currentIndex(), 1);
    EXPECT_TRUE(f.action(cmd::styleCommand(1))->isChecked());
    EXPECT_FALSE(f.action(cmd::StyleNormal)->isChecked());

    e.moveCursor(QTextCursor::End);
    settle(f);
    EXPECT_EQ(f.styleCombo()->currentIndex(), 0);
    EXPECT_TRUE(f.action(cmd::StyleNormal)->isChecked());

    f.styleCombo()->setFocus();
    e.setSelection(0, 0);
    settle(f);
    ASSERT_FALSE(e.hasFocus());
    EXPECT_EQ(f.styleCombo()->currentIndex(), 0);
    EXPECT_TRUE(f.action(cmd::StyleNormal)->isChecked());
}

TEST_F(CommandsTest, StyleFromComboMenuAndContextMenuHaveTheSameEffect) {
    MainFrame& f = openFrame();
    PageEditor& e = f.editor();
    e.SetPlainText(u"one\rtwo\rthree");
    e.setSelection(5, 5);  // in "two"

    f.action(cmd::styleCommand(4))->trigger();
    EXPECT_EQ(e.paragraphStyleAt(5), 4);
    const std::u16string viaMenu = e.GetRtf();
    f.runCommand(cmd::Undo);
    EXPECT_EQ(e.paragraphStyleAt(5), 0);

    e.setSelection(5, 5);
    emit f.styleCombo()->activated(4);
    EXPECT_EQ(e.paragraphStyleAt(5), 4);
    EXPECT_EQ(e.GetRtf(), viaMenu);
    f.runCommand(cmd::Undo);

    QAction* fromContext = nullptr;
    for (QAction* a : f.editorContextMenu()->actions())
        if (a->menu())
            for (QAction* s : a->menu()->actions())
                if (s->text() == "Heading &4")
                    fromContext = s;
    ASSERT_NE(fromContext, nullptr);
    EXPECT_EQ(fromContext->data().toInt(), 216);
    e.setSelection(5, 5);
    fromContext->trigger();
    EXPECT_EQ(e.paragraphStyleAt(5), 4);
    EXPECT_EQ(e.GetRtf(), viaMenu);
    EXPECT_EQ(QString::fromStdU16String(e.GetPlainText()), "one\rtwo\rthree");
}

TEST_F(CommandsTest, EffectButtonsToggleAndShowTheSelectionsEffects) {
    MainFrame& f = openFrame();
    PageEditor& e = f.editor();
    e.SetPlainText(u"plain words here");
    e.setSelection(6, 11);
    settle(f);
    EXPECT_FALSE(f.action(cmd::Bold)->isChecked());

    f.action(cmd::Bold)->trigger();
    settle(f);
    EXPECT_TRUE(e.SelectionEffects() & PageEditor::Bold);
    EXPECT_TRUE(f.action(cmd::Bold)->isChecked());

    f.action(cmd::Superscript)->trigger();
    settle(f);
    EXPECT_TRUE(f.action(cmd::Superscript)->isChecked());
    f.action(cmd::Subscript)->trigger();
    settle(f);
    EXPECT_TRUE(f.action(cmd::Subscript)->isChecked());
    EXPECT_FALSE(f.action(cmd::Superscript)->isChecked());

    f.action(cmd::Bold)->trigger();
    settle(f);
    EXPECT_FALSE(f.action(cmd::Bold)->isChecked());
    EXPECT_TRUE(f.operations().IsModified());
}

TEST_F(CommandsTest, KeysReachTheirCommands) {
    MainFrame& f = openFrame();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.OpenFoundPage(FoundPage{u"PageBee", u""});
    settle(f);
    f.editor().setFocus();
    QTest::keyClick(&f.editor(), Qt::Key_Left, Qt::AltModifier);
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    QTest::keyClick(&f.editor(), Qt::Key_Right, Qt::AltModifier);
    settle(f);
    EXPECT_EQ(pageName(f), "PageBee");
    QTest::keyClick(&f.editor(), Qt::Key_Home, Qt::AltModifier);
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");

    f.editor().setSelection(0, 5);
    QTest::keyClick(&f.editor(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(f.editor().SelectionEffects() & PageEditor::Italic);
    f.editor().setSelection(0, 0);
    QTest::keyClick(&f.editor(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(f.editor().paragraphStyleAt(0), 0);
    settle(f);  // Save is enabled by the pass that sees the change
    QTest::keyClick(&f.editor(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(pageExists("FrontPage"));
}

}  // namespace
}  // namespace tavix::test
