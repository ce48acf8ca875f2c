#include "ui/ProblemReport.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/SystemReport.h"

#ifndef TAVIX_VERSION
#define TAVIX_VERSION "0.0.0"
#endif
// Set by the build from the CMake cache variable of the same name.
#ifndef TAVIX_SUPPORT_ADDRESS
#error "TAVIX_SUPPORT_ADDRESS must be defined by the build"
#endif

namespace tavix {

ProblemReportDialog::ProblemReportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Problem Report"));
    setObjectName(QStringLiteral("ProblemReportDialog"));

    auto* icon = new QLabel(this);
    QIcon appIcon = QApplication::windowIcon();
    if (appIcon.isNull())
        appIcon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(appIcon.pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* intro = new QLabel(
        QStringLiteral("If you have encountered a problem while using Tavix, please let us know about it so "
                       "that we can continue to improve this application. Copy the information in the box "
                       "below and email it along with your name and a description of the problem to:"),
        this);
    intro->setWordWrap(true);

    addressLink_ = new QLabel(this);
    addressLink_->setObjectName(QStringLiteral("addressLink"));
    addressLink_->setTextFormat(Qt::RichText);
    addressLink_->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                              .arg(mailtoUrl().toHtmlEscaped(), supportAddress().toHtmlEscaped()));
    // Selectable too, so the address can be copied where no mail program is set up.
    addressLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard |
                                          Qt::TextSelectableByMouse);
    // Opened by hand so that a desktop without a mail handler is not left
    // silently doing nothing.
    addressLink_->setOpenExternalLinks(false);
    connect(addressLink_, &QLabel::linkActivated, this, &ProblemReportDialog::openAddress);

    auto* label = new QLabel(QStringLiteral("System Information:"), this);
    information_ = new QPlainTextEdit(this);
    information_->setObjectName(QStringLiteral("information"));
    information_->setReadOnly(true);
    information_->setLineWrapMode(QPlainTextEdit::NoWrap);
    information_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    information_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setBuddy(information_);

    copyButton_ = new QPushButton(QStringLiteral("&Copy Info"), this);
    copyButton_->setObjectName(QStringLiteral("copyInfo"));
    copyButton_->setAutoDefault(false);
    closeButton_ = new QPushButton(QStringLiteral("&Close"), this);
    closeButton_->setObjectName(QStringLiteral("close"));
    closeButton_->setDefault(true);
    connect(copyButton_, &QPushButton::clicked, this, &ProblemReportDialog::copyInfo);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    auto* introColumn = new QVBoxLayout;
    introColumn->addWidget(intro);
    introColumn->addWidget(addressLink_);
    top->addLayout(introColumn, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyButton_);
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(label);
    layout->addWidget(information_, 1);
    layout->addLayout(buttons);
    resize(560, 380);

    // The edit shows lines as this desktop ends them; a "\r" would start an
    // extra empty paragraph.
    QString text = gatherReport();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    information_->setPlainText(text);
    information_->selectAll();
    information_->ensureCursorVisible();
    information_->setFocus();
}

ProblemReportDialog::~ProblemReportDialog() = default;

QString ProblemReportDialog::reportText() const {
    return information_->toPlainText();
}

QString ProblemReportDialog::supportAddress() {
    return QStringLiteral(TAVIX_SUPPORT_ADDRESS);
}

QString ProblemReportDialog::mailtoUrl() {
    return QStringLiteral("mailto:") + supportAddress();
}

QString ProblemReportDialog::gatherReport() {
    const std::vector<KnownVersion> qtVersion = {{"libQt6", ParseDottedVersion(qVersion())}};
    SystemReportInput input = GatherSystemReport(qtVersion);
    // The program's own file carries no version in its name; the first
    // module is always the program.
    if (input.modules && !input.modules->empty())
        input.modules->front().version = ParseDottedVersion(TAVIX_VERSION);
    return QString::fromStdString(FormatSystemReport(input));
}

QString ProblemReportDialog::programVersion() {
    const auto v = ParseDottedVersion(TAVIX_VERSION);
    return QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
}

void ProblemReportDialog::setUrlOpener(std::function<bool(const QUrl&)> opener) {
    urlOpener_ = std::move(opener);
}

void ProblemReportDialog::setMessenger(std::function<void(const QString&)> messenger) {
    messenger_ = std::move(messenger);
}

void ProblemReportDialog::copyInfo() {
    information_->selectAll();
    QGuiApplication::clipboard()->setText(information_->toPlainText());
}

void ProblemReportDialog::openAddress(const QString& link) {
    const QUrl url(link);
    if (urlOpener_ ? urlOpener_(url) : QDesktopServices::openUrl(url))
        return;
    // Without a mail program the link would do nothing visible: the report
    // goes to the clipboard so that it only has to be pasted into a mail.
    copyInfo();
    const QString message =
        QStringLiteral("No mail program could be opened.\n\nThe system information has been "
                       "copied to the clipboard. Please paste it into a mail to %1, together "
                       "with a description of the problem.")
            .arg(supportAddress());
    if (messenger_)
        messenger_(message);
    else
        QMessageBox::information(this, windowTitle(), message);
}

}  // namespace tavix
