#include "search/FindPagesDialog.h"

#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "store/FoundPage.h"
#include "platform/WaitCursor.h"
#include "store/NotebookStore.h"
#include "store/PropertyNode.h"
#include "ui/PageListWindow.h"

namespace tavix {
namespace {

const std::u16string kSection = u"FindPages";
const std::u16string kHistory = u"History";

// A compile failure's reason, without the prefix the matcher gives it: the
// sentence around it already says what kind of problem it is.
QString patternReason(const Status& status) {
    static const std::string prefix = "bad pattern: ";
    const std::string& text = status.message();
    if (text.compare(0, prefix.size(), prefix) == 0)
        return QString::fromStdString(text.substr(prefix.size()));
    return QString::fromStdString(text);
}

}  // namespace

FindPagesDialog::FindPagesDialog(NotebookStore& store, PageListWindow& pane, QWidget* parent)
    : QDialog(parent), store_(store), pane_(pane) {
    setWindowTitle(tr("Find Pages"));
    setModal(true);
    message_ = [](QWidget* owner, const QString& title, const QString& text) {
        QMessageBox::warning(owner, title, text);
    };

    auto* label = new QLabel(tr("Fi&nd what:"), this);
    combo_ = makeSearchField(this, label);

    matchCase_ = new QCheckBox(tr("Match &case"), this);
    matchCase_->setObjectName(QStringLiteral("matchCase"));
    matchCase_->setChecked(false);

    auto* scope = new QGroupBox(tr("Search"), this);
    currentNotebook_ = new QRadioButton(tr("Current &notebook"), scope);
    currentNotebook_->setObjectName(QStringLiteral("currentNotebook"));
    currentNotebook_->setChecked(true);
    allNotebooks_ = new QRadioButton(tr("&All notebooks"), scope);
    allNotebooks_->setObjectName(QStringLiteral("allNotebooks"));
    // There is one notebook; the choice is shown for what it will be.
    allNotebooks_->setEnabled(false);
    auto* scopeLayout = new QVBoxLayout(scope);
    scopeLayout->addWidget(currentNotebook_);
    scopeLayout->addWidget(allNotebooks_);

    find_ = new QPushButton(tr("&Find"), this);
    find_->setObjectName(QStringLiteral("findButton"));
    find_->setDefault(true);
    find_->setEnabled(false);
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));

    auto* fieldRow = new QHBoxLayout;
    fieldRow->addWidget(label);
    fieldRow->addWidget(combo_, 1);
    auto* optionRow = new QHBoxLayout;
    optionRow->addWidget(matchCase_, 0, Qt::AlignBottom);
    optionRow->addStretch(1);
    optionRow->addWidget(scope);
    auto* left = new QVBoxLayout;
    left->addLayout(fieldRow);
    left->addLayout(optionRow);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(find_);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    connect(combo_, &QComboBox::editTextChanged, this, [this] { updateFindButton(); });
    // Picking a remembered text also counts as a change of the field.
    connect(combo_, &QComboBox::activated, this, [this] { updateFindButton(); });
    connect(find_, &QPushButton::clicked, this, [this] { runSearch(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    loadHistory();
    combo_->setFocus();
}

FindPagesDialog::~FindPagesDialog() = default;

void FindPagesDialog::loadHistory() {
    // Read without creating nodes: opening and cancelling must leave the
    // settings exactly as they were.
    const PropertyNode* root = store_.properties();
    const PropertyNode* section = root ? root->findChild(kSection) : nullptr;
    const PropertyNode* node = section ? section->findChild(kHistory) : nullptr;
    if (node)
        history_.load(*node);

    const QString text = combo_->currentText();
    combo_->clear();
    for (const std::u16string& entry : history_.entries())
        combo_->addItem(QString::fromStdU16String(entry));
    // Filling the list must not put its first text in the field.
    combo_->setCurrentIndex(-1);
    combo_->setEditText(text);
    updateFindButton();
}

void FindPagesDialog::setSeedText(const std::u16string& text) {
    if (text.empty())
        return;
    combo_->setEditText(QString::fromStdU16String(text));
    combo_->lineEdit()->selectAll();
    updateFindButton();
}

std::u16string FindPagesDialog::searchText() const { return searchFieldText(*combo_); }

void FindPagesDialog::updateFindButton() { find_->setEnabled(!combo_->currentText().isEmpty()); }

void FindPagesDialog::tell(const QString& text) {
    if (message_)
        message_(this, windowTitle(), text);
}

bool FindPagesDialog::runSearch() {
    const std::u16string text = searchText();
    // Enter on a field emptied by hand must not list every page or
    // remember an empty text.
    if (text.empty())
        return false;

    Status compiled;
    Status searched;
    std::vector<Status> skipped;
    {
        WaitCursor wait;
        PageMatcher matcher;
        matcher.setPattern(text);
        matcher.setMatchCase(matchCase_->isChecked());
        std::vector<FoundPage> found;
        compiled = matcher.compile();
        if (compiled) {
            PageSearch search(matcher, store_.notebook().pages());
            for (; !search.atEnd(); search.next())
                found.push_back(search.current());
            searched = search.error();
            skipped = search.skipped();
        }
        // A search cut short would list a part that looks like the whole.
        if (!compiled || !searched)
            found.clear();
        pane_.ShowResults(text, found);

        history_.record(store_.settings(kSection).child(kHistory), text);
        PropertyNode* root = store_.properties();
        lastSave_ = root ? root->save() : Status::success();
    }

    if (!compiled)
        tell(tr("The search text is not a valid regular expression:\n%1").arg(patternReason(compiled)));
    else if (!searched)
        tell(tr("The pages could not be searched: %1").arg(QString::fromStdString(searched.message())));
    if (!lastSave_)
        tell(tr("The search history could not be saved: %1").arg(QString::fromStdString(lastSave_.message())));
    if (compiled && searched && !skipped.empty()) {
        QStringList reasons;
        for (const Status& page : skipped)
            reasons << QString::fromStdString(page.message());
        tell(tr("These page files could not be searched and are not listed:\n%1").arg(reasons.join(QLatin1Char('\n'))));
    }

    if (!compiled || !searched) {
        // The dialog stays for a corrected text; its list now starts with
        // the text just tried, as the file does.
        loadHistory();
        combo_->lineEdit()->selectAll();
        return false;
    }
    accept();
    return true;
}

}  // namespace tavix
