#pragma once
// Help > Report a Problem: a modal dialog asking the user to mail a
// description of the problem to support together with a block of system
// information, which it gathers when it is made and which the user can copy
// with one button. Nothing is sent by the program itself.
#include <functional>

#include <QDialog>
#include <QString>

class QUrl;

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tavix {

class ProblemReportDialog : public QDialog {
    Q_OBJECT
public:
    // Where reports go: the address Tavix was configured with
    // (TAVIX_SUPPORT_ADDRESS). The link in the dialog opens the desktop's
    // mail program with it.
    static QString supportAddress();

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
    // The version this program was built as, in four parts ("0.1.0.0").
    static QString programVersion();

    // How the mail link is opened and how the dialog tells the user that it
    // could not be; replaceable so tests never wait on a mail program or a
    // message box. The opener returns false when nothing could open the link.
    void setUrlOpener(std::function<bool(const QUrl&)> opener);
    void setMessenger(std::function<void(const QString&)> messenger);

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
    std::function<bool(const QUrl&)> urlOpener_;
    std::function<void(const QString&)> messenger_;
};

}  // namespace tavix
