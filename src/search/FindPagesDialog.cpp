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
#include <QTimer>
#include <QVBoxLayout>

#include "search/BackgroundPageSearch.h"
#include "search/PageMatcher.h"
#include "store/NotebookStore.h"
#include "store/PropertyNode.h"
#include "ui/PageListWindow.h"

namespace tavix {
namespace {

const std::u16string kSection = u"FindPages";
const std::u16string kHistory = u"History";
const std::u16string kRegularExpression = u"RegularExpression";

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
    regularExpression_ = new QCheckBox(tr("Regular e&xpression"), this);
    regularExpression_->setObjectName(QStringLiteral("regularExpression"));
    {
        const PropertyNode* root = store_.properties();
        const PropertyNode* section = root ? root->findChild(kSection) : nullptr;
        regularExpression_->setChecked(section ? section->getBool(kRegularExpression, true) : true);
    }

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
    auto* checks = new QVBoxLayout;
    checks->addStretch(1);
    checks->addWidget(matchCase_);
    checks->addWidget(regularExpression_);
    optionRow->addLayout(checks);
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

    // A pause in typing, not every key, starts a search.
    typingPause_ = new QTimer(this);
    typingPause_->setSingleShot(true);
    typingPause_->setInterval(150);
    connect(typingPause_, &QTimer::timeout, this, &FindPagesDialog::searchAsTyped);
    connect(combo_, &QComboBox::editTextChanged, this, [this] {
        updateFindButton();
        typingPause_->start();
    });
    for (QCheckBox* box : {matchCase_, regularExpression_})
        connect(box, &QCheckBox::toggled, typingPause_, qOverload<>(&QTimer::start));
    // Picking a remembered text also counts as a change of the field.
    connect(combo_, &QComboBox::activated, this, [this] { updateFindButton(); });
    connect(find_, &QPushButton::clicked, this, [this] { runSearch(); });
    connect(cancel_, &QPushButton::clicked, this, &FindPagesDialog::reject);

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

std::optional<BackgroundPageSearch::Request> FindPagesDialog::request(Status* compiled) const {
    const std::u16string text = searchText();
    if (text.empty())
        return std::nullopt;
    const bool regular = regularExpression_->isChecked();
    BackgroundPageSearch::Request request;
    request.folder = store_.notebook().folder();
    request.searchText = text;
    request.pattern = regular ? text : PageMatcher::escapeLiteral(text);
    request.literal = !regular;
    request.matchCase = matchCase_->isChecked();
    PageMatcher check;
    check.setPattern(request.pattern);
    check.setMatchCase(request.matchCase);
    const Status status = check.compile();
    if (compiled)
        *compiled = status;
    if (!status)
        return std::nullopt;
    return request;
}

void FindPagesDialog::searchAsTyped() {
    BackgroundPageSearch& search = BackgroundPageSearch::of(pane_);
    if (!isVisible() || !search.answersQuickly())
        return;
    // Half-typed expressions ("(ab") are simply not searched yet.
    if (const auto typed = request()) {
        if (!before_)
            before_ = pane_.shown();
        if (message_)
            search.setMessageFunction(message_);
        search.start(*typed);
    }
}

void FindPagesDialog::reject() {
    typingPause_->stop();
    if (before_) {
        // Cancel takes back what typing showed.
        BackgroundPageSearch::of(pane_).stop();
        pane_.restore(*before_);
        before_.reset();
    }
    QDialog::reject();
}

bool FindPagesDialog::runSearch() {
    typingPause_->stop();
    // Enter on a field emptied by hand must not list every page or
    // remember an empty text.
    if (searchText().empty())
        return false;

    // A bad expression is caught here, while the text can still be
    // corrected; nothing is searched, listed or remembered.
    Status compiled;
    const auto found = request(&compiled);
    if (!found) {
        tell(tr("The search text is not a valid regular expression:\n%1").arg(patternReason(compiled)));
        combo_->setFocus();
        combo_->lineEdit()->selectAll();
        return false;
    }
    const std::u16string text = found->searchText;
    const bool regular = !found->literal;

    history_.record(store_.settings(kSection).child(kHistory), text);
    // Stored only once the user has turned it off: a file that never had
    // the key keeps not having it while the default is what is used.
    PropertyNode& section = store_.settings(kSection);
    if (!regular || section.values().count(kRegularExpression))
        section.setBool(kRegularExpression, regular);
    PropertyNode* root = store_.properties();
    lastSave_ = root ? root->save() : Status::success();

    BackgroundPageSearch& search = BackgroundPageSearch::of(pane_);
    if (message_)
        search.setMessageFunction(message_);
    search.start(*found);

    if (!lastSave_)
        tell(tr("The search history could not be saved: %1").arg(QString::fromStdString(lastSave_.message())));
    accept();
    return true;
}

}  // namespace tavix
