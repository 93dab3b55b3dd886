#pragma once

// Turns a timing provider's page into a programme: the start list shown, or every start list of
// the competition fetched over HTTP, at most six at a time, the events kept in the page's order.
// Callbacks come back on the thread of the importer (the main thread), never after cancel() or
// the importer's destruction.

#include "programme/ProgrammeDocument.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrin {

class WebProgrammeImporter : public QObject {
    Q_OBJECT

public:
    enum class Scope { currentEvent, contest };

    static constexpr std::chrono::milliseconds kRequestTimeout{25'000};
    static constexpr int kMaxStartlistsInFlight = 6;
    static constexpr int kMaxRedirects = 10;
    // No provider page comes near this; a larger answer is refused rather than held in memory.
    static constexpr qint64 kMaxPageBytes = 32 * 1024 * 1024;

    // The time-out is the longest silence allowed during a request.
    explicit WebProgrammeImporter(QObject* parent = nullptr, std::chrono::milliseconds timeout = kRequestTimeout);
    ~WebProgrammeImporter() override;

    // The address typed, trimmed, with "https://" in front when it names no scheme; none when
    // nothing usable was typed.
    static std::optional<QUrl> preparedURL(QStringView text);

    // A body as text: UTF-8, else ISO Latin 1; none for content that is not text at all.
    static std::optional<QString> decodedBody(const QByteArray& body);

    struct Fetched {
        std::optional<QString> html; // set on success
        QString errorMessage;        // the French reason otherwise
    };
    void fetchHTML(const QUrl& url, std::function<void(const Fetched&)> done);

    // The start list shown as a one-event programme; throws ImportError when it shows no rider.
    static ProgrammeDocument documentForCurrentEvent(QStringView html, const QUrl& pageURL);

    struct Outcome {
        std::optional<ProgrammeDocument> document;
        QString errorMessage;
    };
    // Every start list of the competition the page shows or belongs to. `progress` receives status
    // texts while the lists arrive; `done` is called once. A list that cannot be fetched ends the
    // whole import with its reason, so that nothing is imported half-way without notice.
    void documentForContest(const QString& html, const QUrl& pageURL, std::function<void(const QString&)> progress,
                            std::function<void(const Outcome&)> done);

    // Stops every request; no callback follows.
    void cancel();

private:
    class ContestImport;
    friend class ContestImport;

    QNetworkReply* get(const QUrl& url);
    QNetworkReply* fetch(const QUrl& url, std::function<void(const Fetched&)> done);

    QNetworkAccessManager m_network;
    QObject m_jobs;
    std::chrono::milliseconds m_timeout;
    // Bumped by cancel(): answers to older requests are dropped.
    quint64 m_generation = 0;
};

} // namespace tavrin
