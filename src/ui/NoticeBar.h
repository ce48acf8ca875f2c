#pragma once
// A bar above the page that tells the user something without stopping them:
// a page file that could not be read completely, edits saved to a conflict
// copy, an autosave that failed. It stays until closed or replaced.
#include <QFrame>

class QLabel;
class QToolButton;

namespace tavix {

class NoticeBar : public QFrame {
    Q_OBJECT
public:
    explicit NoticeBar(QWidget* parent = nullptr);

    // Shows text (plain, wrapped), replacing any notice shown.
    void showNotice(const QString& text);
    void clearNotice();
    QString text() const;

signals:
    // The user closed the notice that read text.
    void closed(const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    void followPalette();
    QLabel* label_;
    QToolButton* close_;
};

}  // namespace tavix
