#include "printing/views/PrintSession.h"

#include "base/Error.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"
#include "printing/views/PrintCaptionTab.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QPaintEngine>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace tavrin {

namespace {

// The preview's pages are for the screen, and it keeps every page drawn: photos reduced to this
// long side keep a 40-page preview near 100 MB.
constexpr int previewLongSide = 1200;

const QString kPrint = QStringLiteral("print");

// What each printer said was left after its last job in this run.
QHash<QString, QString>& lastSupplies()
{
    static QHash<QString, QString> supplies;
    return supplies;
}

PrintSession::PrintPanel& panelOverride()
{
    static PrintSession::PrintPanel panel;
    return panel;
}

QString progressText(const QStringList& photos, int done, int total, bool sheets)
{
    if (sheets) return QStringLiteral("Impression de la feuille %1 sur %2…").arg(std::min(done + 1, total)).arg(total);
    if (total == 1) return QStringLiteral("Impression de « %1 »…").arg(QFileInfo(photos.first()).completeBaseName());
    return QStringLiteral("Impression de la photo %1 sur %2…").arg(std::min(done + 1, total)).arg(total);
}

// The captions as last chosen, read for the job's photos.
PhotoPrinter::Captions captionsFor(const QStringList& photos, const std::function<PrintCaption::Sources()>& sources)
{
    PhotoPrinter::Captions captions{PrintCaption::remembered(), {}};
    if (captions.style.shown) captions.texts = PrintCaption::textsFor(photos, sources());
    return captions;
}

} // namespace

PrintPanelChoice PrintSession::showPrintPanel(QPrinter& printer, const QStringList& photos, QWidget* window,
                                             const std::optional<PhotoPrinter::MediaChoice>& media)
{
    // The print dialogs are Qt's own: their texts come from Qt's French catalogue.
    QtTranslations::installFrench();
    const PrintCaption::Sources sources = PrintCaption::currentSources();
    const QString example = photos.isEmpty() ? QString() : PrintCaption::textFor(photos.first(), sources);
    for (;;) {
        QPrintDialog dialog(&printer, window);
        // The panel's own tab for the caption; the dialog owns it.
        auto* captionTab = new PrintCaptionTab(PrintCaption::remembered(), example);
        dialog.setOptionTabs({captionTab});
        dialog.setWindowTitle(QStringLiteral("Imprimer"));
        dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintShowPageSize
                          | QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintToFile);
        // Pages are photos, or sheets of several on a cut size.
        dialog.setMinMax(1, printer.toPage() > 0 ? printer.toPage() : int(photos.size()));
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
        PrintCaption::remember(captionTab->style());
        if (!previewWanted) return PrintPanelChoice::print;
        const PhotoPrinter::Captions captions = captionsFor(photos, [&sources] { return sources; });

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
                if (media) PhotoPrinter::renderSheets(*target, photos, *media, previewLongSide, captions);
                else PhotoPrinter::render(*target, photos, PhotoPrinter::RenderProgress{}, previewLongSide, captions);
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

PrintSession::PrintSession(QStringList photos, std::unique_ptr<QPrinter> printer, QWidget* window, std::optional<PhotoPrinter::MediaChoice> media)
    : m_photos(std::move(photos)), m_printer(std::move(printer)), m_window(window), m_media(std::move(media))
{
}

bool PrintSession::sheets() const { return m_media && m_media->media.prints > 1 && m_media->printer == m_printer->printerName(); }

PrintSession::~PrintSession()
{
    if (m_running) {
        m_cancel = true;
        m_leave = true;
        m_jobs.waitForDone();
    }
    if (m_progress) m_progress->deleteLater();
}

PrintSession* PrintSession::run(const QStringList& photos, std::unique_ptr<QPrinter> printer, QWidget* window,
                               std::optional<PhotoPrinter::MediaChoice> media)
{
    const PrintPanel& panel = panelOverride();
    const PrintPanelChoice choice = panel ? panel(*printer, photos, window) : showPrintPanel(*printer, photos, window, media);
    if (choice == PrintPanelChoice::cancel) {
        // A cancelled panel still leaves its settings for the next print.
        PrintInfoMemory::remember(*printer);
        return nullptr;
    }
    auto* session = new PrintSession(photos, std::move(printer), window, std::move(media));
    session->m_captions = captionsFor(photos, PrintCaption::currentSources);
    session->start();
    return session;
}

void PrintSession::start()
{
    const int sheetCount = sheets() ? int(PrinterMedias::sheetsOf(m_photos, m_media->media.prints).size()) : int(m_photos.size());
    const int total = int(PhotoPrinter::pagesToPrint(*m_printer, sheetCount).size());

    m_sending = progressText(m_photos, 0, total, sheets());
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
        const PhotoPrinter::JobResult job = PhotoPrinter::printJob(*m_printer, m_photos, progress, m_media, m_captions);
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
                for (const QStringList& page : job.pages.mid(0, end.pagesPrinted))
                    for (const QString& photo : page)
                        if (job.taken.contains(photo) && !outcome.printed.contains(photo)) outcome.printed << photo;
            }
            outcome.supplies = PrintQueue::printerState(printer).suppliesLeft();
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
    m_sending = progressText(m_photos, done, total, sheets());
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

QString PrintSession::suppliesLeft(const QString& printer) { return lastSupplies().value(printer); }

void PrintSession::noteSupplies(const QString& printer, const QString& supplies) { lastSupplies().insert(printer, supplies); }

void PrintSession::jobEnded(const Outcome& outcome)
{
    m_running = false;
    m_error = outcome.error;
    m_supplies = outcome.supplies;
    if (!m_supplies.isEmpty()) noteSupplies(m_printer->printerName(), m_supplies);
    if (m_progress && !m_supplies.isEmpty() && m_error.isEmpty() && m_window) {
        // The dialog stays a moment to say what is left in the printer.
        QProgressDialog* done = m_progress;
        m_progress = nullptr;
        done->disconnect(this);
        done->setValue(done->maximum());
        done->setLabelText(QStringLiteral("Impression terminée.\n") + m_supplies);
        done->setCancelButtonText(QStringLiteral("Fermer"));
        QObject::connect(done, &QProgressDialog::canceled, done, &QObject::deleteLater);
        QTimer::singleShot(8000, done, &QObject::deleteLater);
    }
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
    if (!m_supplies.isEmpty()) Q_EMIT suppliesReported(m_supplies);
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

PrintSession* print(const QStringList& files, const MediaChoice& media, QWidget* window)
{
    const QStringList photos = photosOf(files);
    if (photos.isEmpty()) return nullptr;
    if (!window) window = QApplication::activeWindow();
    if (window) window = window->window();
    // Made for its queue: no search for a default among every printer of the network.
    auto printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(media.printer), QPrinter::HighResolution);
    configure(*printer, photos, media);
    const int sheets = int(PrinterMedias::sheetsOf(photos, media.media.prints).size());
    printer->setFromTo(1, sheets);
    printer->setPrintRange(QPrinter::AllPages);
    return PrintSession::run(photos, std::move(printer), window, media);
}

} // namespace PhotoPrinter

} // namespace tavrin
