#pragma once
// Help > Report a Problem: a modal dialog asking the user to mail a
// description of the problem to support together with a block of system
// information, which it gathers when it is made and which the user can copy
// with one button. Nothing is sent by the program itself.
#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tavix {

class ProblemReportDialog : public QDialog {
    Q_OBJECT
public:
    // Where reports go; the link in the dialog opens the desktop's mail
    // program with this address.
    static constexpr const char* kSupportAddress = "support@tavix.example";

    // Gathers the report (never fails: parts that cannot be read are left
    // out or named as such in the text) and shows it selected. Run with
    // exec(); the dialog is centred over `parent`.
    explicit ProblemReportDialog(QWidget* parent = nullptr);
    ~ProblemReportDialog() override;

    // The system information shown, one line per line ("\n" ends lines, as
    // text on this desktop does).
    QString reportText() const;
    // "mailto:" + the support address.
    static QString mailtoUrl();

    // The system information of this process as the report formats it:
    // lines ended by "\r\n"; the Qt libraries carry the run-time Qt version.
    static QString gatherReport();

public slots:
    // Selects all of the information and puts exactly that text on the
    // clipboard.
    void copyInfo();

private:
    void openAddress(const QString& link);

    QLabel* addressLink_ = nullptr;
    QPlainTextEdit* information_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

}  // namespace tavix
