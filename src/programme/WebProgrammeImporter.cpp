#include "programme/WebProgrammeImporter.h"

#include "programme/ImportError.h"
#include "programme/WebProgrammeParser.h"

#include <QHash>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <memory>

namespace tavrin {

namespace {

const QString kProgramme = QStringLiteral("Programme");

QString pageAddress(const QUrl& url) { return url.toString(); }

// What the user reads when a page could not be fetched.
QString failureMessage(QNetworkReply& reply, const QUrl& url, bool tooLarge)
{
    const QString page = QStringLiteral("La page ") + pageAddress(url);
    if (tooLarge) return page + QStringLiteral(" est trop volumineuse pour être un programme.");
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        if (code < 200 || code > 399) return page + QStringLiteral(" a répondu ") + QString::number(code) + u'.';
    }
    switch (reply.error()) {
    case QNetworkReply::NoError:
        return {};
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("Le site ") + url.host() +
               QStringLiteral(" est introuvable. Vérifiez l’adresse et la connexion à internet.");
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return QStringLiteral("Impossible de joindre ") + pageAddress(url) +
               QStringLiteral(". Vérifiez la connexion à internet.");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return page + QStringLiteral(" ne répond pas.");
    case QNetworkReply::TooManyRedirectsError:
        return page + QStringLiteral(" redirige sans fin.");
    case QNetworkReply::InsecureRedirectError:
        return page + QStringLiteral(" redirige vers une adresse non sécurisée.");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("La connexion sécurisée à ") + url.host() + QStringLiteral(" a échoué.");
    default:
        return page + QStringLiteral(" n’a pas pu être chargée.");
    }
}

QString plural(qsizetype count, const QString& word) { return QString::number(count) + u' ' + word + (count >= 2 ? u"s" : u""); }

// The first rider of each number, in start order.
QList<ImportedPerson> uniquePeopleInPageOrder(const QList<ImportedPerson>& people)
{
    QSet<QString> seen;
    QList<ImportedPerson> out;
    for (const ImportedPerson& p : people)
        if (!seen.contains(p.canonicalNumber)) {
            seen.insert(p.canonicalNumber);
            out.push_back(p);
        }
    return out;
}

// Days in order of first appearance; ids "Day|Title", made unique with "|2", "|3"…
class DocumentBuilder {
public:
    void add(const QString& day, const QString& title, const QList<ImportedPerson>& people)
    {
        auto it = std::find_if(m_days.begin(), m_days.end(), [&](const ProgrammeDay& d) { return d.name == day; });
        if (it == m_days.end()) it = m_days.insert(m_days.end(), ProgrammeDay{day, {}});
        const QString base = day + u'|' + title;
        const int seen = m_idCounts[base]++;
        it->events.push_back({seen == 0 ? base : base + u'|' + QString::number(seen + 1), title, uniquePeopleInPageOrder(people)});
    }
    ProgrammeDocument take(const QString& sourceName) { return {sourceName, std::move(m_days)}; }

private:
    QList<ProgrammeDay> m_days;
    QHash<QString, int> m_idCounts;
};

QString sourceName(const QString& contestTitle, const QUrl& url) { return contestTitle.isEmpty() ? url.host() : contestTitle; }

} // namespace

// One competition import: the start lists fetched with at most six requests at once, each
// finished request starting the next, the riders put back in the order of the events.
class WebProgrammeImporter::ContestImport : public QObject {
public:
    ContestImport(WebProgrammeImporter& importer, QList<WebProgrammeEventLink> events, QString title,
                  std::function<void(const QString&)> progress, std::function<void(const Outcome&)> done)
        : QObject(&importer.m_jobs), m_importer(importer), m_events(std::move(events)), m_title(std::move(title)),
          m_progress(std::move(progress)), m_done(std::move(done)), m_riders(m_events.size())
    {
    }

    void start()
    {
        m_progress(QStringLiteral("Récupération de ") + plural(m_events.size(), QStringLiteral("liste")) +
                   QStringLiteral(" de départ…"));
        while (m_next < m_events.size() && m_inFlight.size() < kMaxStartlistsInFlight) launch();
    }

private:
    void launch()
    {
        const qsizetype index = m_next++;
        const QUrl url = m_events[index].startlistURL;
        QNetworkReply* reply = m_importer.fetch(url, [this, index, url](const Fetched& fetched) {
            m_inFlight.remove(index);
            if (m_finished) return;
            if (!fetched.html) return fail(fetched.errorMessage);
            m_riders[index] = WebProgrammeParser::snapshot(*fetched.html, url).people;
            ++m_received;
            m_progress(QStringLiteral("Listes de départ reçues : ") + QString::number(m_received) + QStringLiteral(" sur ") +
                       QString::number(m_events.size()) + QStringLiteral("…"));
            if (m_next < m_events.size()) launch();
            else if (m_inFlight.isEmpty()) finish();
        });
        if (reply) m_inFlight.insert(index, reply);
    }

    void fail(const QString& message)
    {
        m_finished = true;
        // The other lists are of no use any more; aborting calls back at once, so the table is
        // emptied first.
        const QList<QPointer<QNetworkReply>> others = m_inFlight.values();
        m_inFlight.clear();
        for (const QPointer<QNetworkReply>& reply : others)
            if (reply) reply->abort();
        deliver({std::nullopt, message});
    }

    void finish()
    {
        m_finished = true;
        DocumentBuilder builder;
        for (qsizetype i = 0; i < m_events.size(); ++i) {
            if (m_riders[i].isEmpty()) continue;
            const WebProgrammeEventLink& event = m_events[i];
            builder.add(event.dayName, WebProgrammeParser::displayTitle(event.eventNumber, event.title), m_riders[i]);
        }
        ProgrammeDocument document = builder.take(m_title);
        if (document.days.isEmpty()) return deliver({std::nullopt, ImportError::noWebProgramme().message()});
        deliver({std::move(document), {}});
    }

    void deliver(const Outcome& outcome)
    {
        const auto done = std::move(m_done);
        deleteLater();
        done(outcome);
    }

    WebProgrammeImporter& m_importer;
    QList<WebProgrammeEventLink> m_events;
    QString m_title;
    std::function<void(const QString&)> m_progress;
    std::function<void(const Outcome&)> m_done;
    QList<QList<ImportedPerson>> m_riders;
    QHash<qsizetype, QPointer<QNetworkReply>> m_inFlight;
    qsizetype m_next = 0;
    qsizetype m_received = 0;
    bool m_finished = false;
};

WebProgrammeImporter::WebProgrammeImporter(QObject* parent, std::chrono::milliseconds timeout)
    : QObject(parent), m_timeout(timeout)
{
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

WebProgrammeImporter::~WebProgrammeImporter() { cancel(); }

std::optional<QUrl> WebProgrammeImporter::preparedURL(QStringView text)
{
    static const QRegularExpression scheme(QStringLiteral("^[a-zA-Z][a-zA-Z0-9+.-]*://"));
    QString typed = text.trimmed().toString();
    if (typed.isEmpty()) return std::nullopt;
    if (!scheme.match(typed).hasMatch()) typed.prepend(QStringLiteral("https://"));
    const QUrl url(typed, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    return url;
}

std::optional<QString> WebProgrammeImporter::decodedBody(const QByteArray& body)
{
    // A NUL byte never occurs in an HTML page in either encoding: this is an image or an archive.
    if (body.contains('\0')) return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(body);
}

QNetworkReply* WebProgrammeImporter::get(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like "
                                     "Gecko) Version/17.6 Safari/605.1.15"));
    request.setRawHeader("Accept", "text/html,application/xhtml+xml");
    // Nothing is remembered between requests: no cookies sent or kept, no cache.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(int(m_timeout.count()));
    return m_network.get(request);
}

QNetworkReply* WebProgrammeImporter::fetch(const QUrl& url, std::function<void(const Fetched&)> done)
{
    QNetworkReply* reply = get(url);
    struct State {
        QByteArray body;
        bool tooLarge = false;
    };
    auto state = std::make_shared<State>();
    const quint64 generation = m_generation;
    const auto refuseLarge = [reply, state] {
        if (std::exchange(state->tooLarge, true)) return;
        // Aborting from inside the reply's own signal upsets it: abort on the next turn.
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, refuseLarge] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxPageBytes) refuseLarge();
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, state, refuseLarge] {
        if (state->tooLarge) return;
        const QByteArray chunk = reply->readAll();
        if (state->body.size() + chunk.size() > kMaxPageBytes) return refuseLarge();
        state->body.append(chunk);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, state, generation, done = std::move(done)] {
        reply->deleteLater();
        if (generation != m_generation) return;
        Fetched result;
        result.errorMessage = failureMessage(*reply, url, state->tooLarge);
        if (result.errorMessage.isEmpty()) {
            result.html = decodedBody(state->body);
            if (!result.html) result.errorMessage = QStringLiteral("La page ") + pageAddress(url) + QStringLiteral(" ne contient pas de texte.");
        }
        done(result);
    });
    return reply;
}

void WebProgrammeImporter::fetchHTML(const QUrl& url, std::function<void(const Fetched&)> done) { fetch(url, std::move(done)); }

ProgrammeDocument WebProgrammeImporter::documentForCurrentEvent(QStringView html, const QUrl& pageURL)
{
    const WebProgrammeSnapshot page = WebProgrammeParser::snapshot(html, pageURL);
    if (page.people.isEmpty()) throw ImportError::noWebProgramme();
    const QString title = page.currentEvent
                              ? WebProgrammeParser::displayTitle(page.currentEvent->eventNumber, page.currentEvent->title)
                              : QStringLiteral("Liste de départ");
    DocumentBuilder builder;
    builder.add(page.currentEvent ? page.currentEvent->dayName : kProgramme, title, page.people);
    return builder.take(sourceName(page.contestTitle, pageURL));
}

void WebProgrammeImporter::documentForContest(const QString& html, const QUrl& pageURL,
                                              std::function<void(const QString&)> progress,
                                              std::function<void(const Outcome&)> done)
{
    const WebProgrammeSnapshot page = WebProgrammeParser::snapshot(html, pageURL);
    const quint64 generation = m_generation;
    auto startWith = [this, generation, progress, done](const QList<WebProgrammeEventLink>& events, const QString& title) {
        if (generation != m_generation) return;
        if (events.isEmpty()) return done({std::nullopt, ImportError::noWebProgramme().message()});
        (new ContestImport(*this, events, title, progress, done))->start();
    };
    if (page.kind != WebProgrammeSnapshot::Kind::startlist) return startWith(page.events, sourceName(page.contestTitle, pageURL));
    // A start list: the events are those of its competition page.
    if (!page.contestURL) return done({std::nullopt, ImportError::noWebProgramme().message()});
    const QUrl contest = *page.contestURL;
    progress(QStringLiteral("Lecture du concours…"));
    fetch(contest, [contest, startWith, done](const Fetched& fetched) {
        if (!fetched.html) return done({std::nullopt, fetched.errorMessage});
        const WebProgrammeSnapshot contestPage = WebProgrammeParser::snapshot(*fetched.html, contest);
        startWith(contestPage.events, sourceName(contestPage.contestTitle, contest));
    });
}

void WebProgrammeImporter::cancel()
{
    ++m_generation;
    for (QObject* job : m_jobs.children()) job->deleteLater();
    for (QNetworkReply* reply : m_network.findChildren<QNetworkReply*>()) reply->abort();
}

} // namespace tavrin
