// File, Export Notebook as HTML: the folder chooser, the export on a worker
// thread behind a progress dialog, and the summary with "Open Folder".
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include "app/MainFrame.h"
#include "editor/PageOperations.h"
#include "index/HtmlExport.h"
#include "store/Notebook.h"
#include "store/NotebookStore.h"
#include "store/StyleSheet.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

// At most this many problems are named in the summary; the rest are counted.
constexpr std::size_t kProblemsShown = 8;

QString pages(std::size_t n) {
    return n == 1 ? MainFrame::tr("1 page") : MainFrame::tr("%1 pages").arg(n);
}

QString summaryOf(const HtmlExportResult& result, const QString& folder) {
    QString text = MainFrame::tr("%1 exported to \u201c%2\u201d.")
                       .arg(pages(result.written), QDir::toNativeSeparators(folder));
    if (result.damaged)
        text += "\n" + MainFrame::tr("Not read completely, exported as far as they could be read: %1.")
                           .arg(pages(result.damaged));
    if (result.unreadable)
        text += "\n" + MainFrame::tr("Not readable, exported as a note: %1.").arg(pages(result.unreadable));
    if (result.skipped)
        text += "\n" + MainFrame::tr("Not written: %1.").arg(pages(result.skipped));
    if (!result.problems.empty()) {
        text += "\n";
        for (std::size_t i = 0; i < result.problems.size() && i < kProblemsShown; ++i) {
            const HtmlExportProblem& problem = result.problems[i];
            text += "\n\u2022 ";
            if (!problem.page.empty())
                text += QString::fromStdU16String(problem.page) + ": ";
            text += QString::fromStdString(problem.reason);
        }
        if (result.problems.size() > kProblemsShown)
            text += "\n" + MainFrame::tr("\u2026 and %1 more.").arg(result.problems.size() - kProblemsShown);
    }
    return text;
}

}  // namespace

void MainFrame::setExportDialogs(ExportDialogs dialogs) { exportDialogs_ = std::move(dialogs); }

void MainFrame::askExportHtml() {
    const QString suggested = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString folder =
        exportDialogs_.chooseFolder
            ? exportDialogs_.chooseFolder(suggested)
            : QFileDialog::getExistingDirectory(this, tr("Export Notebook as HTML"), suggested);
    if (!folder.isEmpty())
        exportNotebookAsHtml(folder);
}

bool MainFrame::exportNotebookAsHtml(const QString& folder) {
    if (store_.notebook().folder().empty()) {
        errorReporter_(tr("This window has no notebook folder to export."));
        return false;
    }
    // The export reads the files: the edits on screen must be among them.
    // A failed save has been reported already; exporting without the edits
    // would pass an old page for the one the user sees.
    if (!ops_->saveIfModified())
        return false;

    // The worker reads its own copies: the window goes on running (and may
    // save or cache pages) while it works.
    struct Job {
        std::u16string notebookFolder;
        StyleSheet styles;
        std::string outFolder;
        std::atomic<bool> cancel{false};
        HtmlExportResult result;
    };
    auto job = std::make_shared<Job>();
    job->notebookFolder = store_.notebook().folder();
    job->styles = store_.styleSheet();
    job->outFolder = folder.toStdString();

    QProgressDialog progress(tr("Exporting the notebook as HTML\u2026"), tr("Stop"), 0, 0, this);
    progress.setWindowTitle(tr("Export Notebook as HTML"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    connect(&progress, &QProgressDialog::canceled, this, [job] { job->cancel = true; });

    QEventLoop loop;
    QPointer<QProgressDialog> shown(&progress);
    QPointer<QEventLoop> waiting(&loop);
    auto work = [job, shown, waiting] {
        Notebook notebook;
        notebook.setFolder(job->notebookFolder);
        HtmlExportOptions options;
        options.cancel = &job->cancel;
        options.progress = [shown](std::size_t done, std::size_t total) {
            QMetaObject::invokeMethod(
                shown.data(),
                [shown, done, total] {
                    if (!shown)
                        return;
                    shown->setMaximum(int(std::max<std::size_t>(total, 1)));
                    shown->setValue(int(done));
                },
                Qt::QueuedConnection);
        };
        job->result = exportHtml(notebook, job->styles, job->outFolder, options);
        QMetaObject::invokeMethod(
            waiting.data(), [waiting] { if (waiting) waiting->quit(); }, Qt::QueuedConnection);
    };
    std::thread worker;
    try {
        worker = std::thread(work);
    } catch (const std::system_error&) {
        work();  // no thread to be had: the window waits instead
    }
    loop.exec();
    if (worker.joinable())
        worker.join();
    progress.reset();

    const HtmlExportResult& result = job->result;
    if (result.cancelled) {
        errorReporter_(tr("The export was stopped: %1").arg(QString::fromStdString(result.status.message())));
        return false;
    }
    if (!result.status) {
        errorReporter_(tr("The notebook could not be exported.\n\n%1")
                           .arg(QString::fromStdString(result.status.message())));
        return false;
    }
    const QString summary = summaryOf(result, folder);
    bool open = false;
    if (exportDialogs_.showResult) {
        open = exportDialogs_.showResult(summary);
    } else {
        QMessageBox box(result.complete() ? QMessageBox::Information : QMessageBox::Warning,
                        tr("Export Notebook as HTML"), summary, QMessageBox::Close, this);
        QPushButton* openButton = box.addButton(tr("Open Folder"), QMessageBox::AcceptRole);
        box.setDefaultButton(openButton);
        box.exec();
        open = box.clickedButton() == openButton;
    }
    if (open)
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    return result.complete();
}

}  // namespace tavix
