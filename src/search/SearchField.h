#pragma once
// The "Find what" field both search dialogs share: an editable combo box
// whose list holds the remembered texts, and its text as a search text.
#include <string>

class QComboBox;
class QLabel;
class QWidget;

namespace tavix {

// The longest search text, in UTF-16 units.
inline constexpr int kSearchTextLimit = 255;

// An editable combo box limited to kSearchTextLimit whose typing never adds
// to its list, made the buddy of label.
QComboBox* makeSearchField(QWidget* parent, QLabel* label);

// The field's text cut to kSearchTextLimit; a cut never leaves half of a
// surrogate pair, which would search for a character nobody typed.
std::u16string searchFieldText(const QComboBox& field);

}  // namespace tavix
