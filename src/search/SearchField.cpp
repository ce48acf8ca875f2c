#include "search/SearchField.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace tavix {

QComboBox* makeSearchField(QWidget* parent, QLabel* label) {
    auto* field = new QComboBox(parent);
    field->setObjectName(QStringLiteral("findWhat"));
    field->setEditable(true);
    // The list shows the remembered texts only; typing never adds to it.
    field->setInsertPolicy(QComboBox::NoInsert);
    // The text typed is the text searched: the default completer would
    // finish "big" as a remembered "big deal" and, ignoring case, turn
    // "Page" into a remembered "page". The remembered texts stay in the list.
    field->setCompleter(nullptr);
    field->setMinimumContentsLength(30);
    field->lineEdit()->setMaxLength(kSearchTextLimit);
    label->setBuddy(field);
    return field;
}

std::u16string searchFieldText(const QComboBox& field) {
    std::u16string text = field.currentText().toStdU16String();
    if (text.size() > static_cast<std::size_t>(kSearchTextLimit)) {
        text.resize(kSearchTextLimit);
        if (QChar::isHighSurrogate(text.back()))
            text.pop_back();
    }
    return text;
}

}  // namespace tavix
