#pragma once

// Printing from the window: the print panel (with its preview), then the pages made on a worker
// thread and streamed to the queue, while a progress dialog shows the page being sent and the
// printer's own state until the printer has printed the job; it can cancel the job.

#include "base/BackgroundJobs.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintPaperFormat.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QPrinter;
class QWidget;

namespace tavrin {

enum class PrintPanelChoice { print, cancel };

class PrintSession : public QObject {
    Q_OBJECT
public:
    // Shows the panel over `window` for the printer configured for `photos`; the panel may change
    // the printer's settings. The real one is the system's print dialog with a preview button.
    using PrintPanel = std::function<PrintPanelChoice(QPrinter& printer, const QStringList& photos, QWidget* window)>;
    static PrintPanelChoice showPrintPanel(QPrinter& printer, const QStringList& photos, QWidget* window,
                                           const std::optional<PhotoPrinter::MediaChoice>& media = std::nullopt);
    // Tests answer the panel themselves; an empty function brings the real one back.
    static void setPrintPanelForTesting(PrintPanel panel);

    // Starts printing photos (already filtered) with a configured printer; the session deletes
    // itself once the job has ended. Null when the panel was cancelled.
    // With `media`, the pages are that size of the printer's own (two photos to a cut sheet).
    static PrintSession* run(const QStringList& photos, std::unique_ptr<QPrinter> printer, QWidget* window,
                             std::optional<PhotoPrinter::MediaChoice> media = std::nullopt);

    ~PrintSession() override;

    const QStringList& photos() const { return m_photos; }
    QProgressDialog* progressDialog() const { return m_progress; }
    // The French reason of a job that could not be printed, empty otherwise.
    QString errorMessage() const { return m_error; }
    // What the queue and its printer last said (French), empty for a file.
    QString printerStatus() const { return m_status; }
    // What the driver said was left after the job (« Ruban : 340 tirages restants »), empty when
    // it does not count its supplies.
    QString supplies() const { return m_supplies; }
    // The same as last said by that printer in this run.
    static QString suppliesLeft(const QString& printer);
    static void noteSupplies(const QString& printer, const QString& supplies);

public Q_SLOTS:
    // Stops after the page being drawn.
    void cancel();

Q_SIGNALS:
    void progressed(int done, int total);
    // The queue has the whole job (CUPS job id); the session now follows the printer.
    void handedOver(int job);
    void printerStatusChanged(const QString& status);
    // `completed`: every page of the chosen range went to the printer.
    void finished(bool completed);
    // The driver's count of what is left, after the job.
    void suppliesReported(const QString& supplies);

private:
    PrintSession(QStringList photos, std::unique_ptr<QPrinter> printer, QWidget* window, std::optional<PhotoPrinter::MediaChoice> media);
    // Pages are cut sheets of several photos.
    bool sheets() const;
    void start();
    void pageDone(int done, int total, const QString& status);
    void showStatus(const QString& status);
    void showHandedOver(int job);
    struct Outcome {
        // The photos out on paper, whether every page of the range went, why it failed.
        QStringList printed;
        bool completed = false;
        QString error;
        QString supplies;
    };
    Outcome printAndFollow(const JobContext& context);
    void jobEnded(const Outcome& outcome);
    QString label() const;

    QStringList m_photos;
    std::unique_ptr<QPrinter> m_printer;
    QPointer<QWidget> m_window;
    std::optional<PhotoPrinter::MediaChoice> m_media;
    PhotoPrinter::Captions m_captions;
    QPointer<QProgressDialog> m_progress;
    // « Annuler » while pages are sent ends the job with them; once it is handed over, it withdraws it.
    std::atomic<bool> m_cancel{false}, m_withdraw{false}, m_leave{false}, m_handedOver{false};
    bool m_running = false;
    QString m_error, m_supplies;
    // Shown in the dialog (main thread).
    QString m_sending, m_status;
    // Makes the pages and follows the printer. Last, so that it is gone before what the job uses.
    BackgroundJobs m_jobs{nullptr, 1};
};

namespace PhotoPrinter {

// Prints the photos among `files` from the window, on `paper` or, without one, with the panel's
// settings as remembered. Returns the running session, or null when there is nothing to print or
// the panel was cancelled. The settings are remembered either way; the photos whose pages went to
// the printer are marked delivered when the job ends.
PrintSession* print(const QStringList& files, std::optional<PrintPaperFormat> paper, QWidget* window = nullptr);
// The same on a size of the printer's own.
PrintSession* print(const QStringList& files, const MediaChoice& media, QWidget* window = nullptr);

} // namespace PhotoPrinter

} // namespace tavrin
