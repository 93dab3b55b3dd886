#include "printing/views/PrintSession.h"

#include "base/Error.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QMessageBox>
#include <QPaintEngine>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>

namespace tavrin {

namespace {

// The preview's pages are for the screen, and it keeps every page drawn: photos reduced to this
// long side keep a 40-page preview near 100 MB.
constexpr int previewLongSide = 1200;

const QString kPrint = QStringLiteral("print");

PrintSession::PrintPanel& panelOverride()
{
    static PrintSession::PrintPanel panel;
    return panel;
}

QString progressText(const QStringList& photos, int done, int total)
{
    if (total == 1) return QStringLiteral("Impression de « %1 »…").arg(QFileInfo(photos.first()).completeBaseName());
    return QStringLiteral("Impression de la photo %1 sur %2…").arg(std::min(done + 1, total)).arg(total);
}

} // namespace

PrintPanelChoice PrintSession::showPrintPanel(QPrinter& printer, const QStringList& photos, QWidget* window)
{
    // The print dialogs are Qt's own: their texts come from Qt's French catalogue.
    QtTranslations::installFrench();
    for (;;) {
        QPrintDialog dialog(&printer, window);
        dialog.setWindowTitle(QStringLiteral("Imprimer"));
        dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintShowPageSize
                          | QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintToFile);
        dialog.setMinMax(1, int(photos.size()));
        bool previewWanted = false;
        // Accepting first puts the panel's choices into the printer, so the preview shows them.
        if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
            QPushButton* preview = buttons->addButton(QStringLiteral("Aperçu…"), QDialogButtonBox::ActionRole);
            QObject::connect(preview, &QPushButton::clicked, &dialog, [&] {
                previewWanted = true;
                dialog.accept();
            });
        }
        if (dialog.exec() != QDialog::Accepted) return PrintPanelChoice::cancel;
        if (!previewWanted) return PrintPanelChoice::print;

        QPrintPreviewDialog preview(&printer, window);
        preview.setWindowTitle(QStringLiteral("Aperçu avant impression"));
        bool printWanted = false;
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* target) {
            // The preview's own pages are recorded as pictures; its print button hands over the
            // real printer, whose job then runs off the main thread like any other.
            if (target->paintEngine() && target->paintEngine()->type() != QPaintEngine::Picture) {
                printWanted = true;
                return;
            }
            // Every page is drawn before the preview shows.
            QApplication::setOverrideCursor(Qt::WaitCursor);
            try {
                PhotoPrinter::render(*target, photos, {}, previewLongSide);
            } catch (const Error&) {
                // A printer that cannot start shows an empty preview; printing says why.
            }
            QApplication::restoreOverrideCursor();
        });
        if (preview.exec() == QDialog::Accepted && printWanted) return PrintPanelChoice::print;
        // Closing the preview goes back to the panel.
    }
}

void PrintSession::setPrintPanelForTesting(PrintPanel panel) { panelOverride() = std::move(panel); }

PrintSession::PrintSession(QStringList photos, std::unique_ptr<QPrinter> printer, QWidget* window)
    : m_photos(std::move(photos)), m_printer(std::move(printer)), m_window(window)
{
}

PrintSession::~PrintSession()
{
    if (m_running) {
        m_cancel = true;
        m_leave = true;
        m_jobs.waitForDone();
    }
    if (m_progress) m_progress->deleteLater();
}

PrintSession* PrintSession::run(const QStringList& photos, std::unique_ptr<QPrinter> printer, QWidget* window)
{
    const PrintPanel& panel = panelOverride();
    const PrintPanelChoice choice = panel ? panel(*printer, photos, window) : showPrintPanel(*printer, photos, window);
    if (choice == PrintPanelChoice::cancel) {
        // A cancelled panel still leaves its settings for the next print.
        PrintInfoMemory::remember(*printer);
        return nullptr;
    }
    auto* session = new PrintSession(photos, std::move(printer), window);
    session->start();
    return session;
}

void PrintSession::start()
{
    const int total = int(PhotoPrinter::pagesToPrint(*m_printer, int(m_photos.size())).size());

    m_sending = progressText(m_photos, 0, total);
    m_progress = new QProgressDialog(m_sending, QStringLiteral("Annuler"), 0, std::max(total, 1), m_window);
    m_progress->setWindowTitle(QStringLiteral("Impression"));
    // The window stays usable while the pages are written; the dialog keeps above it.
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(0);
    m_progress->setValue(0);
    connect(m_progress, &QProgressDialog::canceled, this, &PrintSession::cancel);
    m_progress->show();

    m_running = true;
    m_jobs.run(kPrint, [this](const JobContext& job) { return printAndFollow(job); },
               [this](const Outcome& outcome) { jobEnded(outcome); });
    // Quitting mid-job ends it after the page being drawn, with the same marks as an « Annuler ».
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!m_running) return;
        // Pages not yet sent are dropped; a job the queue has is left to it.
        m_cancel = true;
        m_leave = true;
        m_jobs.waitFor(kPrint);
    });
}

PrintSession::Outcome PrintSession::printAndFollow(const JobContext& context)
{
    const bool toQueue = m_printer->outputFileName().isEmpty();
    const QString printer = m_printer->printerName();
    PhotoPrinter::RenderProgress progress;
    progress.cancel = &m_cancel;
    progress.pageDone = [this, &context, toQueue, printer](int done, int total) {
        // The printer's state as the pages go: out of paper shows before the job is sent.
        const QString status = toQueue ? QStringLiteral("Imprimante « %1 » : %2").arg(printer, PrintQueue::printerState(printer).text()) : QString();
        context.post([this, done, total, status] { pageDone(done, total, status); });
    };
    Outcome outcome;
    try {
        const PhotoPrinter::JobResult job = PhotoPrinter::printJob(*m_printer, m_photos, progress);
        outcome.completed = job.completed;
        outcome.printed = job.taken;
        if (job.job > 0) {
            m_handedOver = true;
            context.post([this, id = job.job] { showHandedOver(id); });
            const PrintQueue::JobEnd end = PrintQueue::followJob(
                printer, job.job, int(job.pages.size()), m_printer->copyCount(), m_printer->collateCopies(),
                [this, &context](const QString& status) { context.post([this, status] { showStatus(status); }); },
                &m_withdraw, &m_leave);
            if (end.kind != PrintQueue::JobEnd::Kind::completed) {
                // Only what the printer has printed is out.
                outcome.completed = false;
                outcome.error = end.message;
                outcome.printed.clear();
                for (const QString& photo : job.pages.mid(0, end.pagesPrinted))
                    if (job.taken.contains(photo) && !outcome.printed.contains(photo)) outcome.printed << photo;
            }
        }
    } catch (const Error& error) {
        outcome.error = error.message();
    } catch (...) {
        outcome.error = QStringLiteral("L’impression a échoué.");
    }
    // « Imprimer dans un fichier (PDF) », or a queue writing into a file: a proof, nothing handed
    // to a customer.
    if (!toQueue || PrintQueue::printerState(printer).printsToFile()) outcome.printed.clear();
    return outcome;
}

void PrintSession::cancel()
{
    // Once the queue has the whole job, « Annuler » withdraws it from the printer.
    if (m_handedOver) m_withdraw = true;
    if (m_cancel.exchange(true)) return;
    // « Annuler » hides the dialog itself; called otherwise, it says why the job goes on a moment.
    if (m_progress && m_progress->isVisible()) m_progress->setLabelText(QStringLiteral("Annulation de l’impression…"));
}

QString PrintSession::label() const
{
    if (m_status.isEmpty()) return m_sending;
    return m_sending + u'\n' + m_status;
}

void PrintSession::pageDone(int done, int total, const QString& status)
{
    m_sending = progressText(m_photos, done, total);
    if (!status.isEmpty()) showStatus(status);
    if (m_progress) {
        m_progress->setValue(done);
        if (!m_cancel) m_progress->setLabelText(label());
    }
    Q_EMIT progressed(done, total);
}

void PrintSession::showStatus(const QString& status)
{
    if (status == m_status) return;
    m_status = status;
    if (m_progress && !m_cancel) m_progress->setLabelText(label());
    Q_EMIT printerStatusChanged(status);
}

void PrintSession::showHandedOver(int job)
{
    m_sending = QStringLiteral("Toutes les pages sont dans la file de l’imprimante « %1 ».").arg(m_printer->printerName());
    if (m_progress && !m_cancel) {
        m_progress->setLabelText(label());
        m_progress->setCancelButtonText(QStringLiteral("Annuler l’impression"));
    }
    Q_EMIT handedOver(job);
}

void PrintSession::jobEnded(const Outcome& outcome)
{
    m_running = false;
    m_error = outcome.error;
    if (m_progress) {
        m_progress->close();
        m_progress->deleteLater();
    }
    PrintInfoMemory::remember(*m_printer);
    // The pages sent before a cancel went to the printer with the job; a job the printer stopped
    // has printed only some: those photos are out.
    if (!outcome.printed.isEmpty()) PhotoPrinter::markPrinted(outcome.printed);
    if (!m_error.isEmpty() && m_window) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Impression"), m_error, QMessageBox::Ok, m_window);
        box->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    Q_EMIT finished(outcome.completed && m_error.isEmpty());
    deleteLater();
}

namespace PhotoPrinter {

PrintSession* print(const QStringList& files, std::optional<PrintPaperFormat> paper, QWidget* window)
{
    const QStringList photos = photosOf(files);
    if (photos.isEmpty()) return nullptr;
    if (!window) window = QApplication::activeWindow();
    if (window) window = window->window();
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    configure(*printer, photos, paper);
    printer->setFromTo(1, int(photos.size()));
    printer->setPrintRange(QPrinter::AllPages);
    return PrintSession::run(photos, std::move(printer), window);
}

} // namespace PhotoPrinter

} // namespace tavrin
