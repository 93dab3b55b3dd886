#include "printing/PrintQueue.h"

#include "base/Error.h"

#include <QRegularExpression>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>

namespace tavrin::PrintQueue {

namespace {

QString lastError() { return QString::fromUtf8(cupsLastErrorString()); }

// The server's answer to a request for some attributes of `uri`; null when it gave none.
ipp_t* ask(ipp_op_t operation, const char* uriName, const QByteArray& uri, std::initializer_list<const char*> names)
{
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    const std::vector<const char*> list(names);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(list.size()), nullptr, list.data());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (response && ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        return nullptr;
    }
    return response;
}

QByteArray printerUri(const QString& printer)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s", printer.toUtf8().constData());
    return uri;
}

int integer(ipp_t* response, const char* name, int fallback = 0)
{
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? ippGetInteger(attribute, 0) : fallback;
}

QStringList strings(ipp_t* response, const char* name)
{
    QStringList values;
    if (ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO))
        for (int i = 0; i < ippGetCount(attribute); ++i) values << QString::fromUtf8(ippGetString(attribute, i, nullptr));
    return values;
}

QString joined(const QStringList& texts)
{
    QStringList unique;
    for (const QString& text : texts)
        if (!text.isEmpty() && !unique.contains(text)) unique << text;
    return unique.join(QStringLiteral(", "));
}

} // namespace

QString reasonText(const QString& keyword)
{
    QString key = keyword;
    for (const char* suffix : {"-error", "-warning", "-report"})
        if (key.endsWith(QLatin1String(suffix))) key.chop(int(qstrlen(suffix)));
    static const QList<QPair<QString, QString>> texts{
        {"paused", "en pause"},
        {"media-empty", "plus de papier"},
        {"media-needed", "papier à mettre en place"},
        {"media-low", "bientôt plus de papier"},
        {"media-jam", "bourrage papier"},
        {"marker-supply-empty", "plus d’encre ou de ruban"},
        {"marker-supply-low", "encre ou ruban bientôt épuisé"},
        {"marker-waste-full", "réservoir d’encre usagée plein"},
        {"marker-waste-almost-full", "réservoir d’encre usagée presque plein"},
        {"toner-empty", "plus de toner"},
        {"toner-low", "toner bientôt épuisé"},
        {"door-open", "capot ouvert"},
        {"cover-open", "capot ouvert"},
        {"input-tray-missing", "bac à papier absent"},
        {"output-area-full", "bac de sortie plein"},
        {"output-tray-missing", "bac de sortie absent"},
        {"offline", "hors ligne"},
        {"shutdown", "éteinte"},
        {"timed-out", "ne répond pas"},
        {"connecting-to-device", "connexion à l’imprimante"},
        {"stopped-partly", "arrêtée en partie"},
        {"cups-missing-filter", "pilote incomplet"},
        {"cups-filter-crashed", "le pilote a échoué"},
    };
    for (const auto& [name, text] : texts)
        if (key == name) return text;
    return {};
}

QString PrinterState::why() const
{
    QStringList texts;
    for (const QString& reason : reasons) texts << reasonText(reason);
    const QString known = joined(texts);
    if (!known.isEmpty()) return known;
    return message.isEmpty() ? QStringLiteral("sans raison donnée") : message;
}

QString PrinterState::text() const
{
    QString text;
    switch (state) {
    case 3: text = QStringLiteral("prête"); break;
    case 4: text = QStringLiteral("en cours d’impression"); break;
    case 5: text = QStringLiteral("arrêtée : ") + why(); break;
    default: text = QStringLiteral("état inconnu"); break;
    }
    if (state != 5) {
        QStringList texts;
        for (const QString& reason : reasons) texts << reasonText(reason);
        if (const QString troubles = joined(texts); !troubles.isEmpty()) text += QStringLiteral(" (") + troubles + u')';
    }
    QStringList levels;
    for (const auto& [name, level] : markers) levels << QStringLiteral("%1 %2\u00a0%").arg(name).arg(level);
    if (!levels.isEmpty()) text += QStringLiteral(" — ") + levels.join(QStringLiteral(", "));
    return text;
}

int printsRemaining(const QString& message)
{
    static const QRegularExpression count(QStringLiteral("(\\d+)\\s+(?:[\\w-]+\\s+)?(?:prints?|sheets?|tirages?)\\s+(?:remaining|left|restants?)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = count.match(message);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PrinterState::suppliesLeft() const
{
    QStringList texts;
    for (qsizetype i = 0; i < markerMessages.size(); ++i) {
        const int left = printsRemaining(markerMessages[i]);
        if (left < 0) continue;
        const QString type = markerTypes.value(i), name = i < markers.size() ? markers[i].first : QString();
        const bool paper = type.startsWith(QLatin1String("paper")) || type.startsWith(QLatin1String("media"));
        // Dye-sub printers count their ribbon, paper coming with it.
        const QString supply = paper ? QStringLiteral("Papier") : QStringLiteral("Ruban");
        const QString text = QStringLiteral("%1 : %2 %3").arg(supply).arg(left).arg(left > 1 ? QStringLiteral("tirages restants") : QStringLiteral("tirage restant"));
        if (!texts.contains(text)) texts << text;
    }
    return texts.join(QStringLiteral(" · "));
}

PrinterState printerState(const QString& printer)
{
    PrinterState state;
    ipp_t* response = ask(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", printerUri(printer),
                          {"printer-state", "printer-state-reasons", "printer-state-message", "marker-names", "marker-levels", "marker-message",
                           "marker-types", "device-uri"});
    if (!response) return state;
    state.found = true;
    state.state = integer(response, "printer-state");
    state.reasons = strings(response, "printer-state-reasons");
    state.reasons.removeAll(QStringLiteral("none"));
    state.message = strings(response, "printer-state-message").value(0);
    state.deviceUri = strings(response, "device-uri").value(0);
    const QStringList names = strings(response, "marker-names");
    if (ipp_attribute_t* levels = ippFindAttribute(response, "marker-levels", IPP_TAG_INTEGER))
        for (int i = 0; i < std::min(int(names.size()), ippGetCount(levels)); ++i)
            // Negative levels are "unknown" or "not reported".
            if (const int level = ippGetInteger(levels, i); level >= 0) state.markers.push_back({names[i], std::min(level, 100)});
    state.markerMessages = strings(response, "marker-message");
    state.markerTypes = strings(response, "marker-types");
    ippDelete(response);
    return state;
}

JobState jobState(int id)
{
    JobState state;
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d", id);
    ipp_t* response = ask(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", uri,
                          {"job-state", "job-state-reasons", "job-impressions-completed", "job-media-sheets-completed", "job-printer-state-message"});
    if (!response) return state;
    state.found = true;
    state.state = integer(response, "job-state");
    state.reasons = strings(response, "job-state-reasons");
    state.impressions = std::max(integer(response, "job-impressions-completed"), integer(response, "job-media-sheets-completed"));
    state.message = strings(response, "job-printer-state-message").value(0);
    ippDelete(response);
    return state;
}

bool cancelJob(const QString& printer, int id) { return cupsCancelJob2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), id, 0) == IPP_STATUS_OK; }

Job::Job(QString printer, QString title, QList<QPair<QByteArray, QByteArray>> options)
    : m_printer(std::move(printer)), m_title(std::move(title)), m_options(std::move(options))
{
}

Job::~Job()
{
    if (m_open) abandon();
    if (m_http) httpClose(m_http);
}

void Job::begin()
{
    const QString refused = QStringLiteral("L’imprimante « %1 » refuse la tâche : %2").arg(m_printer);
    // A connection of its own: the job's document streams on it while the state is asked on another.
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (!m_http) throw Error(QStringLiteral("L’impression n’a pas pu commencer : le service d’impression ne répond pas."));
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [name, value] : m_options) count = cupsAddOption(name.constData(), value.constData(), count, &options);
    const QByteArray printer = m_printer.toUtf8(), title = m_title.toUtf8();
    m_id = cupsCreateJob(m_http, printer.constData(), title.constData(), count, options);
    cupsFreeOptions(count, options);
    if (m_id <= 0) throw Error(refused.arg(lastError()));
    if (cupsStartDocument(m_http, printer.constData(), m_id, title.constData(), CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE) {
        const QString why = lastError();
        cancelJob(m_printer, m_id);
        throw Error(refused.arg(why));
    }
    m_open = true;
}

bool Job::write(const char* data, size_t size)
{
    return m_open && cupsWriteRequestData(m_http, data, size) == HTTP_STATUS_CONTINUE;
}

void Job::finish()
{
    if (!m_open) return;
    m_open = false;
    if (cupsFinishDocument(m_http, m_printer.toUtf8().constData()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw Error(QStringLiteral("L’imprimante « %1 » n’a pas pris la tâche : %2").arg(m_printer, lastError()));
}

void Job::abandon()
{
    m_open = false;
    if (m_http) {
        httpClose(m_http);
        m_http = nullptr;
    }
    if (m_id > 0) cancelJob(m_printer, m_id);
}

JobEnd followJob(const QString& printer, int jobId, int pages, int copies, bool collate,
                 const std::function<void(const QString&)>& update, const std::atomic<bool>* cancel, const std::atomic<bool>* leave,
                 int pollMs)
{
    copies = std::max(copies, 1);
    const auto printed = [&](int impressions) {
        return std::clamp(collate ? impressions : impressions / copies, 0, pages);
    };
    QString last;
    for (;;) {
        const JobState job = jobState(jobId);
        const PrinterState device = printerState(printer);
        JobEnd end;
        end.pagesPrinted = printed(job.impressions);
        // A job no longer known was printed and forgotten.
        if (!job.found || job.state == IPP_JSTATE_COMPLETED || (leave && leave->load())) {
            end.pagesPrinted = pages;
            return end;
        }
        if (cancel && cancel->load()) {
            cancelJob(printer, jobId);
            end.kind = JobEnd::Kind::cancelled;
            return end;
        }
        const QString because = job.message.isEmpty() ? device.why() : job.message;
        if (job.state == IPP_JSTATE_CANCELED) {
            end.kind = JobEnd::Kind::cancelled;
            end.message = QStringLiteral("L’impression a été annulée sur l’imprimante « %1 » (%2).").arg(printer, because);
            return end;
        }
        if (job.state == IPP_JSTATE_ABORTED) {
            end.kind = JobEnd::Kind::aborted;
            end.message = QStringLiteral("L’imprimante « %1 » a abandonné l’impression (%2).").arg(printer, because);
            return end;
        }
        if (device.stopped() && job.state != IPP_JSTATE_PROCESSING) {
            end.kind = JobEnd::Kind::stopped;
            end.message = QStringLiteral("L’imprimante « %1 » est arrêtée (%2) : la suite de l’impression attend dans sa file.")
                              .arg(printer, device.why());
            return end;
        }
        QString status = QStringLiteral("Imprimante « %1 » : %2").arg(printer, device.text());
        if (job.state == IPP_JSTATE_PROCESSING)
            status += u'\n' + QStringLiteral("Page %1 sur %2 en cours").arg(std::min(end.pagesPrinted + 1, pages)).arg(pages);
        else
            status += u'\n' + QStringLiteral("En attente dans la file de l’imprimante");
        if (status != last && update) update(status);
        last = status;
        QThread::msleep(pollMs);
    }
}

} // namespace tavrin::PrintQueue
