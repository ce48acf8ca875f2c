// Driving the window from the keyboard alone: mnemonics that lead to one
// place each, F10 for the menu bar, F6 between the editor and the panes, and
// tool tips that teach the keys.
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

#include "app/FrameFixture.h"
#include "ui/NotebookPanes.h"
#include "ui/PageListWindow.h"

namespace tavix::test {
namespace {

// The letter Alt (or the letter alone, in an open menu) chooses; null when
// the text has none. "&&" is a literal ampersand.
QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

// Checks one level of a layout (items[pos..] up to its EndMenu), then its
// submenus; pos ends on that EndMenu.
void checkLevel(std::span<const LayoutItem> items, std::size_t& pos, const QString& where) {
    QMap<QChar, QString> seen;
    auto note = [&](const QString& text) {
        const QChar m = mnemonicOf(text);
        if (m.isNull())
            return;
        EXPECT_FALSE(seen.contains(m)) << where.toStdString() << ": \"" << text.toStdString()
                                       << "\" and \"" << seen.value(m).toStdString()
                                       << "\" share a mnemonic";
        seen[m] = text;
    };
    for (; pos < items.size(); ++pos) {
        const LayoutItem& item = items[pos];
        if (item.kind == LayoutItem::EndMenu)
            return;
        if (item.kind == LayoutItem::Command) {
            const CommandInfo* c = CommandTable::find(item.id);
            ASSERT_NE(c, nullptr) << item.id;
            note(c->text);
        } else if (item.kind == LayoutItem::BeginMenu) {
            note(item.title);
            ++pos;
            checkLevel(items, pos, where + "/" + item.title);
        }
    }
}

void checkMenu(const QMenu* menu, const QString& where) {
    QMap<QChar, QString> seen;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible())
            continue;
        const QChar m = mnemonicOf(a->text());
        if (!m.isNull()) {
            EXPECT_FALSE(seen.contains(m)) << where.toStdString() << ": \""
                                           << a->text().toStdString() << "\" and \""
                                           << seen.value(m).toStdString() << "\"";
            seen[m] = a->text();
        }
        if (a->menu())
            checkMenu(a->menu(), where + "/" + a->text());
    }
}

TEST(Mnemonics, AreUniqueInEveryMenuOfTheTable) {
    std::size_t pos = 0;
    checkLevel(CommandTable::menuBar(), pos, "menu bar");
    pos = 0;
    checkLevel(CommandTable::editorContextMenu(), pos, "context menu");
    // Every command on a menu can be reached by its letter.
    for (const CommandInfo& c : CommandTable::all())
        if (!c.menuPath.isEmpty()) {
            EXPECT_FALSE(mnemonicOf(c.text).isNull()) << c.text.toStdString();
        }
}

using KeyboardTest = FrameFixture;

TEST_F(KeyboardTest, MenusOfTheWindowHaveUniqueMnemonics) {
    MainFrame& f = openFrame();
    QMap<QChar, QString> seen;
    for (QAction* a : f.menuBar()->actions()) {
        const QChar m = mnemonicOf(a->text());
        EXPECT_FALSE(m.isNull()) << a->text().toStdString();
        EXPECT_FALSE(seen.contains(m)) << a->text().toStdString() << " and "
                                       << seen.value(m).toStdString();
        seen[m] = a->text();
        checkMenu(a->menu(), a->text());
    }
    checkMenu(f.editorContextMenu(), "context menu");
}

TEST_F(KeyboardTest, ToolTipsEndWithTheShortcut) {
    MainFrame& f = openFrame();
    EXPECT_EQ(f.action(cmd::Bold)->toolTip(), "Bold (Ctrl+B)");
    EXPECT_EQ(f.action(cmd::Save)->toolTip(), "Save (Ctrl+S)");
    EXPECT_EQ(f.action(cmd::Back)->toolTip(), "Back (Alt+Left)");
    // The command's string has no tool tip part: its menu text stands in.
    EXPECT_EQ(f.action(cmd::FrontPage)->toolTip(), "Front Page (Alt+Home)");
    // Without keys nothing is added.
    EXPECT_EQ(f.action(cmd::Strikethrough)->toolTip(), "Strikethrough");
    for (const CommandInfo& c : CommandTable::all()) {
        QAction* a = f.action(c.id);
        if (!a || c.shortcuts.isEmpty())
            continue;
        const QString keys = c.shortcuts.first().toString(QKeySequence::NativeText);
        EXPECT_TRUE(a->toolTip().endsWith(" (" + keys + ")")) << a->toolTip().toStdString();
    }
}

TEST_F(KeyboardTest, F10OpensTheMenuBar) {
    MainFrame& f = openFrame();
    ASSERT_TRUE(f.editor().hasFocus());
    QTest::keyClick(&f.editor(), Qt::Key_F10);
    QCoreApplication::processEvents();
    ASSERT_NE(f.menuBar()->activeAction(), nullptr);
    EXPECT_EQ(f.menuBar()->activeAction()->text(), "&File");
    // Nothing was typed into the page.
    EXPECT_FALSE(f.operations().IsModified());
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

// Where the focus is: "editor", a pane's name, or "elsewhere".
QString focusPlace(MainFrame& f) {
    QWidget* w = QApplication::focusWidget();
    if (!w)
        return "none";
    if (w == &f.editor())
        return "editor";
    const std::pair<QDockWidget*, const char*> panes[] = {
        {&f.keywordsPane(), "keywords"},
        {&f.allPagesPane(), "all pages"},
        {&f.backlinksPane(), "backlinks"},
        {&f.pageListPane(), "found pages"}};
    for (const auto& [pane, name] : panes)
        if (pane->isAncestorOf(w))
            return name;
    return "elsewhere";
}

QStringList cycle(MainFrame& f, Qt::KeyboardModifiers modifiers, int presses) {
    QStringList places;
    for (int i = 0; i < presses; ++i) {
        QWidget* target = QApplication::focusWidget();
        if (!target)
            target = &f;
        QTest::keyClick(target, Qt::Key_F6, modifiers);
        QCoreApplication::processEvents();
        places << focusPlace(f);
    }
    return places;
}

TEST_F(KeyboardTest, F6CyclesThroughTheEditorAndTheVisiblePanes) {
    MainFrame& f = openFrame();
    f.runCommand(cmd::PageKeywords);
    f.allPagesPane().show();
    f.backlinksPane().show();
    f.pageListPane().show();
    settle(f);
    f.editor().setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(focusPlace(f), "editor");

    // The panes that can be seen, in their order; All Pages and Backlinks
    // may share a place, where only the tab in front counts.
    auto shownPanes = [&f] {
        QStringList shown;
        const std::pair<QDockWidget*, const char*> panes[] = {
            {&f.keywordsPane(), "keywords"},
            {&f.allPagesPane(), "all pages"},
            {&f.backlinksPane(), "backlinks"},
            {&f.pageListPane(), "found pages"}};
        for (const auto& [pane, name] : panes)
            if (pane->isVisible())
                shown << name;
        return shown;
    };
    QStringList shown = shownPanes();
    ASSERT_TRUE(shown.contains("keywords") && shown.contains("found pages"));
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(cycle(f, Qt::NoModifier, int(shown.size()) + 1), shown + QStringList{"editor"});
    QStringList back(shown.rbegin(), shown.rend());
    EXPECT_EQ(cycle(f, Qt::ShiftModifier, int(shown.size()) + 1), back + QStringList{"editor"});

    // Hidden panes are passed over.
    f.runCommand(cmd::PageKeywords);
    f.pageListPane().hide();
    settle(f);
    f.editor().setFocus();
    QCoreApplication::processEvents();
    shown = shownPanes();
    ASSERT_FALSE(shown.contains("keywords") || shown.contains("found pages"));
    EXPECT_EQ(cycle(f, Qt::NoModifier, int(shown.size()) + 1), shown + QStringList{"editor"});
    // F6 never types into the page.
    EXPECT_FALSE(f.operations().IsModified());
}

TEST_F(KeyboardTest, F6WithNoPaneShownStaysInTheEditor) {
    MainFrame& f = openFrame();
    f.allPagesPane().hide();
    f.backlinksPane().hide();
    settle(f);
    f.editor().setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(cycle(f, Qt::NoModifier, 2), QStringList({"editor", "editor"}));
}

}  // namespace
}  // namespace tavix::test
