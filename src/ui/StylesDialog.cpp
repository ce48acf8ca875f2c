#include "ui/StylesDialog.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QSet>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include "platform/RtfDocument.h"

namespace tavix {

namespace {

constexpr int kTwipsPerCentimetre = 567;
constexpr int kTwipsPerPoint = 20;
constexpr float kCentimetresPerTwip = 0.0017636684f;  // 1/567 in single precision
constexpr float kPointsPerTwip = 0.05f;

// Font family names on this desktop are not bound to the 31 characters of
// older systems; a shorter limit would cut a long name chosen from the list.
constexpr int kFontEditLimit = 255;
constexpr int kFontStyleEditLimit = 11;
constexpr int kSizeEditLimit = 3;
constexpr int kParagraphEditLimit = 8;

const int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 40, 48, 56, 64, 72};

// The leading decimal number of a text ("2.5 cm" gives 2.5), read in single
// precision whatever the user's locale; no number gives 0.
float leadingNumber(const QString& text) {
    int i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    const int start = i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    int digits = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
        ++i, ++digits;
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            ++i, ++digits;
    }
    if (digits == 0)
        return 0.0f;
    bool ok = false;
    const float value = text.mid(start, i - start).toFloat(&ok);
    return ok ? value : 0.0f;
}

// value × factor truncated toward zero, held to the range of a twips field
// so that a long row of typed nines cannot overflow.
int truncatedTwips(float value, int factor) {
    const float twips = std::trunc(value * static_cast<float>(factor));
    if (!(twips > static_cast<float>(std::numeric_limits<int>::min())))
        return std::numeric_limits<int>::min();
    if (!(twips < static_cast<float>(std::numeric_limits<int>::max())))
        return std::numeric_limits<int>::max();
    return static_cast<int>(twips);
}

// The leading decimal digits of a text as a whole number, or -1 when there
// are none.
int leadingInteger(const QString& text) {
    long long n = -1;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        n = std::min<long long>((n < 0 ? 0 : n) * 10 + (c.unicode() - u'0'),
                                std::numeric_limits<int>::max());
    }
    return static_cast<int>(n);
}

}  // namespace

// A text field with up and down arrows that are not tied to its text: the
// arrows step a position (value ÷ step, set when a style is shown) and
// write position × step into the field, while typing never moves the
// position. Any text up to the field's limit is accepted and read back by
// the dialog.
class UpDownField : public QAbstractSpinBox {
public:
    using Format = QString (*)(int twips);
    using Parse = int (*)(const QString& text);

    UpDownField(int twipsPerStep, int maxPosition, Format format, Parse parse, QWidget* parent)
        : QAbstractSpinBox(parent), step_(twipsPerStep), max_(maxPosition),
          format_(format), parse_(parse) {
        lineEdit()->setMaxLength(kParagraphEditLimit);
        setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    }

    void showTwips(int twips) {
        position_ = std::clamp(twips / step_, 0, max_);
        lineEdit()->setText(format_(twips));
        shownText_ = lineEdit()->text();
        shownTwips_ = twips;
    }
    // The shown value while the text is as shown, else the text's value.
    int twips() const { return text() == shownText_ ? shownTwips_ : parse_(text()); }
    int position() const { return position_; }
    QLineEdit* edit() const { return lineEdit(); }

    void stepBy(int steps) override {
        position_ = std::clamp(position_ + steps, 0, max_);
        lineEdit()->setText(format_(position_ * step_));
    }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }

protected:
    StepEnabled stepEnabled() const override {
        StepEnabled enabled = StepNone;
        if (position_ < max_)
            enabled |= StepUpEnabled;
        if (position_ > 0)
            enabled |= StepDownEnabled;
        return enabled;
    }

private:
    int step_;
    int max_;
    Format format_;
    Parse parse_;
    int position_ = 0;
    QString shownText_;
    int shownTwips_ = 0;
};

QString StylesDialog::twipsToCentimetres(int twips) {
    const float cm = static_cast<float>(twips) * kCentimetresPerTwip;
    return QString::number(static_cast<double>(cm), 'f', 1) + QStringLiteral(" cm");
}

QString StylesDialog::twipsToPoints(int twips) {
    const float pt = static_cast<float>(twips) * kPointsPerTwip;
    return QString::number(static_cast<double>(pt), 'f', 1) + QStringLiteral(" pt");
}

int StylesDialog::centimetresToTwips(const QString& text) {
    return truncatedTwips(leadingNumber(text), kTwipsPerCentimetre);
}

int StylesDialog::pointsToTwips(const QString& text) {
    return truncatedTwips(leadingNumber(text), kTwipsPerPoint);
}

StylesDialog::StylesDialog(const StyleSheet& sheet, QWidget* parent)
    : QDialog(parent), working_(sheet), result_(sheet) {
    setWindowTitle(tr("Styles"));

    styles_ = new QListWidget(this);
    styles_->setObjectName(QStringLiteral("styleList"));
    for (int i = 0; i < StyleSheet::styleCount(); ++i)
        styles_->addItem(QString::fromStdU16String(working_.style(i).name()));
    styles_->setMaximumWidth(styles_->sizeHintForColumn(0) + 40);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabs"));
    tabs_->addTab(buildFontPage(), tr("Font"));
    tabs_->addTab(buildParagraphPage(), tr("Paragraph"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &StylesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &StylesDialog::reject);

    // The sample shows what the fields say before OK gives it to the page.
    auto* sample = new QGroupBox(tr("Preview"), this);
    preview_ = new QTextEdit(sample);
    preview_->setObjectName(QStringLiteral("stylePreview"));
    preview_->setReadOnly(true);
    preview_->setFocusPolicy(Qt::NoFocus);
    preview_->setTextInteractionFlags(Qt::NoTextInteraction);
    preview_->setMinimumHeight(fontMetrics().lineSpacing() * 7);
    auto* sampleLayout = new QVBoxLayout(sample);
    sampleLayout->addWidget(preview_);

    auto* right = new QVBoxLayout;
    right->addWidget(tabs_, 1);
    right->addWidget(sample);
    right->addWidget(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(styles_);
    layout->addLayout(right, 1);

    showStyle(0);
    styles_->setCurrentRow(0);
    connect(styles_, &QListWidget::currentRowChanged, this, &StylesDialog::chooseStyle);

    // Every field, typed into or picked from its list, redraws the sample;
    // these come after the fields' own links, so the lists already agree.
    for (QLineEdit* edit : {fontEdit_, fontStyleEdit_, sizeEdit_, leftIndent_->edit(),
                            rightIndent_->edit(), spaceBefore_->edit(), spaceAfter_->edit()})
        connect(edit, &QLineEdit::textChanged, this, &StylesDialog::updatePreview);
    for (QListWidget* list : {fontList_, fontStyleList_, sizeList_})
        connect(list, &QListWidget::itemSelectionChanged, this, &StylesDialog::updatePreview);
    connect(alignment_, &QComboBox::currentIndexChanged, this, &StylesDialog::updatePreview);
}

StylesDialog::~StylesDialog() = default;

QStringList StylesDialog::familyNames(const QStringList& families) {
    QStringList names;
    QSet<QString> seen;  // font names match without regard to case
    for (const QString& family : families) {
        QString name = family;
        const qsizetype foundry = name.lastIndexOf(QStringLiteral(" ["));
        if (foundry > 0 && name.endsWith(u']'))
            name.truncate(foundry);
        const QString key = name.toCaseFolded();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        names << name;
    }
    return names;
}

QWidget* StylesDialog::buildFontPage() {
    auto* page = new QWidget;
    auto makeColumn = [&](const QString& caption, const char* editName, const char* listName,
                          int limit, QLineEdit*& edit, QListWidget*& list) {
        auto* column = new QVBoxLayout;
        auto* label = new QLabel(caption, page);
        edit = new QLineEdit(page);
        edit->setObjectName(QString::fromLatin1(editName));
        edit->setMaxLength(limit);
        list = new QListWidget(page);
        list->setObjectName(QString::fromLatin1(listName));
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        label->setBuddy(edit);
        column->addWidget(label);
        column->addWidget(edit);
        column->addWidget(list, 1);
        return column;
    };

    auto* row = new QHBoxLayout(page);
    row->addLayout(makeColumn(tr("&Font:"), "fontEdit", "fontList", kFontEditLimit,
                              fontEdit_, fontList_), 3);
    row->addLayout(makeColumn(tr("Font st&yle:"), "fontStyleEdit", "fontStyleList",
                              kFontStyleEditLimit, fontStyleEdit_, fontStyleList_), 2);
    row->addLayout(makeColumn(tr("&Size:"), "sizeEdit", "sizeList", kSizeEditLimit,
                              sizeEdit_, sizeList_), 1);

    fontList_->addItems(familyNames(QFontDatabase::families()));
    fontList_->setSortingEnabled(true);
    fontStyleList_->addItems({tr("Regular"), tr("Italic"), tr("Bold"), tr("Bold Italic")});
    for (int size : kSizes)
        sizeList_->addItem(QString::number(size));

    const std::pair<QLineEdit*, QListWidget*> pairs[] = {
        {fontEdit_, fontList_}, {fontStyleEdit_, fontStyleList_}, {sizeEdit_, sizeList_}};
    for (const auto& [edit, list] : pairs) {
        connect(edit, &QLineEdit::textChanged, this,
                [this, list = list](const QString& text) { selectMatching(list, text); });
        connect(list, &QListWidget::itemSelectionChanged, this,
                [this, edit = edit, list = list] { copySelection(list, edit); });
    }
    return page;
}

QWidget* StylesDialog::buildParagraphPage() {
    auto* page = new QWidget;
    alignment_ = new QComboBox(page);
    alignment_->setObjectName(QStringLiteral("alignment"));
    alignment_->addItems({tr("Left"), tr("Centered"), tr("Right")});
    auto* alignmentLabel = new QLabel(tr("Ali&gnment:"), page);
    alignmentLabel->setBuddy(alignment_);

    auto field = [page](const char* name, int step, int max, UpDownField::Format format,
                        UpDownField::Parse parse) {
        auto* f = new UpDownField(step, max, format, parse, page);
        f->setObjectName(QString::fromLatin1(name));
        return f;
    };
    leftIndent_ = field("leftIndent", 56, 2835, &twipsToCentimetres, &centimetresToTwips);
    rightIndent_ = field("rightIndent", 56, 2835, &twipsToCentimetres, &centimetresToTwips);
    spaceBefore_ = field("spaceBefore", 2, 2880, &twipsToPoints, &pointsToTwips);
    spaceAfter_ = field("spaceAfter", 2, 2880, &twipsToPoints, &pointsToTwips);

    auto* indentation = new QGroupBox(tr("Indentation"), page);
    auto* indentForm = new QFormLayout(indentation);
    indentForm->addRow(tr("&Left:"), leftIndent_);
    indentForm->addRow(tr("&Right:"), rightIndent_);
    auto* spacing = new QGroupBox(tr("Spacing"), page);
    auto* spacingForm = new QFormLayout(spacing);
    spacingForm->addRow(tr("&Before:"), spaceBefore_);
    spacingForm->addRow(tr("Aft&er:"), spaceAfter_);

    auto* top = new QHBoxLayout;
    top->addWidget(alignmentLabel);
    top->addWidget(alignment_);
    top->addStretch();
    auto* groups = new QHBoxLayout;
    groups->addWidget(indentation);
    groups->addWidget(spacing);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addLayout(groups);
    layout->addStretch();
    return page;
}

void StylesDialog::selectMatching(QListWidget* list, const QString& text) {
    if (syncing_)
        return;
    syncing_ = true;
    // MatchFixedString compares whole texts with letter case ignored.
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchFixedString);
    if (found.isEmpty()) {
        list->clearSelection();
        list->setCurrentRow(-1, QItemSelectionModel::Clear);
    } else {
        list->setCurrentItem(found.front());
        list->scrollToItem(found.front());
    }
    syncing_ = false;
}

void StylesDialog::copySelection(QListWidget* list, QLineEdit* edit) {
    if (syncing_)
        return;
    syncing_ = true;
    const QList<QListWidgetItem*> selected = list->selectedItems();
    edit->setText(selected.isEmpty() ? QString() : selected.front()->text());
    syncing_ = false;
}

void StylesDialog::showStyle(int index) {
    const ParagraphStyle& s = working_.style(index);
    showing_ = true;

    const int fontStyle = 2 * (s.bold() ? 1 : 0) + (s.italic() ? 1 : 0);
    fontStyleList_->setCurrentRow(fontStyle);  // copies the name into the edit

    sizeEdit_->setText(QString::number(s.size()));
    shownSize_ = sizeEdit_->text();
    fontEdit_->setText(QString::fromStdU16String(s.fontName()));
    shownFont_ = fontEdit_->text();

    alignment_->setCurrentIndex(s.alignment() == 1 ? 1 : s.alignment() == 2 ? 2 : 0);
    spaceBefore_->showTwips(s.spaceBefore());
    spaceAfter_->showTwips(s.spaceAfter());
    leftIndent_->showTwips(s.leftIndent());
    rightIndent_->showTwips(s.rightIndent());
    showing_ = false;
    updatePreview();
}

void StylesDialog::readStyle(int index) {
    readInto(working_.style(index));
}

void StylesDialog::readInto(ParagraphStyle& s) const {
    const int fontStyle = fontStyleList_->selectedItems().isEmpty()
                              ? -1 : fontStyleList_->currentRow();
    s.setBold(fontStyle == 2 || fontStyle == 3);
    s.setItalic(fontStyle == 1 || fontStyle == 3);

    // The installed font's own spelling when one is chosen; a name typed
    // for a font that is not installed is kept as typed; an untouched name
    // of a missing font, or an emptied field, keeps the style's name.
    const QList<QListWidgetItem*> font = fontList_->selectedItems();
    const QString typed = fontEdit_->text().trimmed();
    if (!font.isEmpty())
        s.setFontName(font.front()->text().toStdU16String());
    else if (fontEdit_->text() != shownFont_ && !typed.isEmpty())
        s.setFontName(typed.toStdU16String());

    // A size field without digits (or with 0) would give a font nobody can
    // read; the style keeps its size then.
    if (sizeEdit_->text() != shownSize_) {
        const int size = leadingInteger(sizeEdit_->text().trimmed());
        if (size >= 1)
            s.setSize(size);
    }

    const int alignment = alignment_->currentIndex();
    s.setAlignment(alignment == 1 || alignment == 2 ? alignment : 0);
    s.setSpaceBefore(spaceBefore_->twips());
    s.setSpaceAfter(spaceAfter_->twips());
    s.setLeftIndent(leftIndent_->twips());
    s.setRightIndent(rightIndent_->twips());
}

void StylesDialog::updatePreview() {
    if (!preview_ || showing_)
        return;
    ParagraphStyle s = working_.style(current_);
    readInto(s);

    // Sizes as the page shows them, held to what a sample can show: a typed
    // 999 pt or a negative indent would leave nothing to see.
    QTextCharFormat chars;
    chars.setFontFamilies(QStringList{QString::fromStdU16String(s.fontName())});
    chars.setFontPointSize(std::clamp(s.size(), 1, 200));
    chars.setFontWeight(s.bold() ? QFont::Bold : QFont::Normal);
    chars.setFontItalic(s.italic());
    chars.setFontUnderline(s.underline());
    QTextBlockFormat block;
    block.setAlignment(s.alignment() == 1 ? Qt::AlignHCenter
                       : s.alignment() == 2 ? Qt::AlignRight : Qt::AlignLeft);
    auto pixels = [](int twips) { return twipsToPixels(std::clamp(twips, 0, 14400)); };
    block.setLeftMargin(pixels(s.leftIndent()));
    block.setRightMargin(pixels(s.rightIndent()));
    block.setTopMargin(pixels(s.spaceBefore()));
    block.setBottomMargin(pixels(s.spaceAfter()));

    QTextDocument* doc = preview_->document();
    doc->clear();
    QTextCursor cursor(doc);
    cursor.setBlockFormat(block);
    cursor.setBlockCharFormat(chars);
    cursor.insertText(tr("A paragraph in %1. Every word in mixed capitals, such as FrontPage, "
                         "leads to the page of that name.")
                          .arg(QString::fromStdU16String(s.name())),
                      chars);
}

void StylesDialog::chooseStyle(int index) {
    if (index < 0 || index >= StyleSheet::styleCount() || index == current_)
        return;
    readStyle(current_);
    current_ = index;
    if (styles_->currentRow() != index) {
        const QSignalBlocker block(styles_);
        styles_->setCurrentRow(index);
    }
    showStyle(index);
}

void StylesDialog::accept() {
    readStyle(current_);
    for (int i = 0; i < StyleSheet::styleCount(); ++i) {
        const ParagraphStyle& from = working_.style(i);
        ParagraphStyle& to = result_.style(i);
        to.setBold(from.bold());
        to.setItalic(from.italic());
        to.setSize(from.size());
        to.setFontName(from.fontName());
        to.setAlignment(from.alignment());
        to.setSpaceBefore(from.spaceBefore());
        to.setSpaceAfter(from.spaceAfter());
        to.setLeftIndent(from.leftIndent());
        to.setRightIndent(from.rightIndent());
    }
    QDialog::accept();
}

}  // namespace tavix
