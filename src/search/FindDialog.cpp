#include "search/FindDialog.h"

#include <set>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "editor/PageEditor.h"
#include "search/SearchField.h"
#include "search/SearchHistory.h"
#include "platform/WaitCursor.h"
#include "store/NotebookStore.h"
#include "store/PropertyNode.h"

namespace tavix {

namespace {

const std::u16string kSection = u"Find";
const std::u16string kHistory = u"History";

}  // namespace

FindDialog::FindDialog(PageEditor& editor, NotebookStore& store, QWidget* parent)
    : QDialog(parent), editor_(editor), store_(store) {
    setWindowTitle(tr("Find"));
    setModal(false);

    auto* label = new QLabel(tr("Fi&nd what:"), this);
    combo_ = makeSearchField(this, label);

    matchCase_ = new QCheckBox(tr("Match &case"), this);
    matchCase_->setObjectName(QStringLiteral("matchCase"));
    wholeWord_ = new QCheckBox(tr("Match &whole word only"), this);
    wholeWord_->setObjectName(QStringLiteral("wholeWord"));

    auto* direction = new QGroupBox(tr("Direction"), this);
    up_ = new QRadioButton(tr("&Up"), direction);
    up_->setObjectName(QStringLiteral("up"));
    down_ = new QRadioButton(tr("&Down"), direction);
    down_->setObjectName(QStringLiteral("down"));
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(up_);
    directionLayout->addWidget(down_);

    findNext_ = new QPushButton(tr("&Find Next"), this);
    findNext_->setObjectName(QStringLiteral("findNext"));
    findNext_->setDefault(true);
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));

    auto* options = new QVBoxLayout;
    options->addWidget(matchCase_);
    options->addWidget(wholeWord_);
    options->addStretch();
    auto* lower = new QHBoxLayout;
    lower->addLayout(options);
    lower->addWidget(direction);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("findStatus"));

    auto* left = new QGridLayout;
    left->addWidget(label, 0, 0);
    left->addWidget(combo_, 0, 1);
    left->addLayout(lower, 1, 0, 1, 2);
    left->addWidget(status_, 2, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNext_);
    buttons->addWidget(cancel_);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    connect(combo_, &QComboBox::editTextChanged, this, &FindDialog::updateFindNextEnabled);
    // The note is about the text last searched; a new text makes it stale.
    connect(combo_, &QComboBox::editTextChanged, status_, &QLabel::clear);
    connect(combo_, &QComboBox::activated, this, &FindDialog::updateFindNextEnabled);
    connect(findNext_, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(cancel_, &QPushButton::clicked, this, &FindDialog::reject);

    startAfresh();
}

FindDialog::~FindDialog() = default;

void FindDialog::startAfresh() {
    matchCase_->setChecked(false);
    wholeWord_->setChecked(false);
    up_->setChecked(false);
    down_->setChecked(true);
    history_ = loadHistory(store_.settings(kSection));
    combo_->clear();
    for (const std::u16string& text : history_)
        combo_->addItem(QString::fromStdU16String(text));
    combo_->setEditText(QString());
    status_->clear();
    findNext_->setEnabled(false);
}

void FindDialog::showWithSeed(const std::u16string& seed) {
    if (!open_) {
        startAfresh();
        open_ = true;
    }
    if (!seed.empty()) {
        combo_->setEditText(QString::fromStdU16String(seed).left(kMaxTextLength));
        combo_->lineEdit()->selectAll();
        updateFindNextEnabled();
    }
    show();
    raise();
    activateWindow();
    combo_->setFocus();
}

std::u16string FindDialog::searchText() const { return searchFieldText(*combo_); }

void FindDialog::updateFindNextEnabled() {
    findNext_->setEnabled(!combo_->currentText().isEmpty());
}

bool FindDialog::findNext() {
    const std::u16string text = searchText();
    // Enter on a field emptied by hand must not search for nothing or
    // remember an empty text.
    if (text.empty())
        return false;
    WaitCursor wait;

    history_.push_back(text);
    storeHistory(store_.settings(kSection), text, history_);
    PropertyNode* root = store_.properties();
    lastSave_ = root ? root->save() : Status::success();
    if (!lastSave_)
        emit settingsSaveFailed(QString::fromStdString(lastSave_.message()));

    const bool down = down_->isChecked();
    const bool found = editor_.findText(text, matchCase_->isChecked(), wholeWord_->isChecked(), down);
    // The search stops at the end of the page on purpose; saying so tells
    // "nothing more" apart from "nothing happened".
    const QString note = found ? QString() : down ? tr("No more matches below") : tr("No more matches above");
    status_->setText(note);
    if (!found)
        emit statusMessage(note);
    return found;
}

void FindDialog::reject() {
    open_ = false;
    history_.clear();
    hide();
    setResult(QDialog::Rejected);
}

void FindDialog::closeEvent(QCloseEvent* event) {
    // Closing the window is Cancel: the object stays, the window goes.
    reject();
    event->accept();
}

std::vector<std::u16string> FindDialog::loadHistory(const PropertyNode& findSection) {
    const PropertyNode* node = findSection.findChild(kHistory);
    if (!node)
        return {};
    SearchHistory history;
    history.load(*node);
    return history.entries();
}

void FindDialog::storeHistory(PropertyNode& findSection, const std::u16string& searched,
                              const std::vector<std::u16string>& history) {
    // Not SearchHistory::record: that reorders its list after each search,
    // while this window's list only grows, in load order, until it closes.
    // A text searched twice in one window sits twice in the list; the file
    // keeps it once, at its first place, so the history never fills with
    // copies.
    std::vector<std::u16string> stored{searched};
    std::set<std::u16string> written{searched};
    for (const std::u16string& entry : history)
        if (written.insert(entry).second)
            stored.push_back(entry);
    SearchHistory::write(findSection.child(kHistory), stored);
}

}  // namespace tavix
