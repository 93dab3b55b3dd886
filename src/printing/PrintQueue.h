#pragma once

// A print job streamed to a CUPS queue through its API, and what the queue and its printer say
// while the job runs, in French.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

using http_t = struct _http_s;

namespace tavrin::PrintQueue {

// The printer as CUPS reports it: state 3 idle, 4 processing, 5 stopped.
struct PrinterState {
    bool found = false;
    int state = 0;
    QStringList reasons;
    QString message;
    // Supply names as the driver gives them, with their level in percent.
    QList<QPair<QString, int>> markers;
    // The driver's words about its supplies ("340 native prints remaining on ribbon") and their
    // kinds ("ribbonWax"), one per supply.
    QStringList markerMessages, markerTypes;
    // Where the queue sends its jobs ("usb://…", "file:///…").
    QString deviceUri;

    // A queue writing into a file prints nothing on paper: nothing it takes is delivered.
    bool printsToFile() const { return deviceUri.startsWith(QLatin1StringView("file:")); }

    bool stopped() const { return state == 5; }
    // « prête », « en cours d’impression », « arrêtée : plus de papier » …, then the supplies.
    QString text() const;
    // Why it is stopped or troubled: the reasons in French, or the printer's own message.
    QString why() const;
    // What is left when the driver counts it: « Ruban : 340 tirages restants »; empty otherwise.
    QString suppliesLeft() const;
};
PrinterState printerState(const QString& printer);

// A reason keyword of CUPS in French (« plus de papier » for media-empty); empty for "none" and
// for keywords of no interest to a photographer.
QString reasonText(const QString& keyword);

// The prints left that a driver's supply message counts ("340 native prints remaining on …");
// -1 when it does not say.
int printsRemaining(const QString& message);

// The job as CUPS reports it: 3 pending, 4 held, 5 processing, 6 stopped, 7 canceled, 8 aborted,
// 9 completed.
struct JobState {
    bool found = false;
    int state = 0;
    QStringList reasons;
    int impressions = 0;
    QString message;
};
JobState jobState(int id);
bool cancelJob(const QString& printer, int id);

// One job of one PDF document, whose bytes go to the queue while the rest is still being made.
class Job {
public:
    // Options as for lp: media, copies, collate …
    Job(QString printer, QString title, QList<QPair<QByteArray, QByteArray>> options);
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Creates the job and opens its document. Throws tavrin::Error (in French) when the queue
    // refuses it.
    void begin();
    bool write(const char* data, size_t size);
    // Closes the document; throws tavrin::Error when the queue did not take it.
    void finish();
    // Withdraws a job that could not be finished.
    void abandon();
    int id() const { return m_id; }

private:
    QString m_printer, m_title;
    QList<QPair<QByteArray, QByteArray>> m_options;
    http_t* m_http = nullptr;
    int m_id = 0;
    bool m_open = false;
};

// How a handed-over job ended.
struct JobEnd {
    enum class Kind { completed, stopped, cancelled, aborted };
    Kind kind = Kind::completed;
    // The French reason, for a job that did not complete.
    QString message;
    // The leading pages of the job that the printer has printed.
    int pagesPrinted = 0;
};

// Follows the job until the printer has printed it, the server cancels or aborts it, or the
// printer stops with it unfinished. `update` gets the printer's state and the page being printed
// (French) at every change; `cancel` withdraws the job; `leave` stops following a job left to
// the queue (it counts as printed).
JobEnd followJob(const QString& printer, int jobId, int pages, int copies, bool collate,
                 const std::function<void(const QString& status)>& update, const std::atomic<bool>* cancel,
                 const std::atomic<bool>* leave = nullptr, int pollMs = 300);

} // namespace tavrin::PrintQueue
