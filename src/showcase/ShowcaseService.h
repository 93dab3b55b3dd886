#pragma once

// The stand's showcase: every visitor's phone finds a rider, looks at the watermarked previews
// and sends an order, which becomes an order folder of the orders root. Served on the server
// core without a token, so only the page, the previews and the order form exist: GET and HEAD
// of those, and the one POST of an order.

#include "net/HttpServer.h"
#include "showcase/ShowcaseCatalogue.h"
#include "showcase/ShowcaseOrders.h"
#include "showcase/ShowcasePreviews.h"

#include <QFileSystemWatcher>
#include <QMutex>
#include <QObject>
#include <QTimer>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace tavrin {

class ShowcaseService : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString photos;                  // the folder of riders' folders
        QString orders;                  // the orders root
        QStringList formats = defaultFormats();
        std::optional<QString> watermark;
        QString cacheFolder;             // empty: the user's cache
        QList<ProgrammeDocument> programmes;
        http::Server::Options server = defaultServerOptions();
        ShowcaseOrders::Limits orderLimits;
        PriceList prices;                // empty: the pages show no price
        // The previews' cache is kept under this size.
        qint64 cacheBound = ShowcasePreviews::defaultBound;
    };

    explicit ShowcaseService(QObject* parent = nullptr);
    ~ShowcaseService() override;

    // Throws Error (French) when a folder is missing or the address cannot be served.
    void start(const Options& options);
    void stop();

    bool isRunning() const { return m_server != nullptr; }
    QUrl url() const;
    int visitorCount() const;
    QStringList orderFolders() const;
    ShowcasePreviews* previews() const { return m_previews.get(); }

    static QStringList defaultFormats();
    static http::Server::Options defaultServerOptions();

Q_SIGNALS:
    void visitorsChanged(int count);
    void orderPlaced(const QString& folderName);

private:
    http::Response handle(const http::Request& request);
    http::Response searchPage(const http::Request& request);
    http::Response riderPage(const QByteArray& id);
    http::Response previewImage(const QByteArray& name);
    http::Response order(const http::Request& request);
    void noteVisitor(const QHostAddress& peer);
    // Riders' folders are watched: one that fills (organising, following, by hand) gets its
    // previews made ahead.
    void watchRiders();
    // Riders' folders changed within this many hours when the showcase opens have their previews
    // made ahead too; older ones wait for a visitor.
    static constexpr int recentRidersHours = 12;
    void watchNewRiders(bool prepare);
    void prepareFilled();

    Options m_options;
    std::unique_ptr<ShowcaseCatalogue> m_catalogue;
    std::unique_ptr<ShowcasePreviews> m_previews;
    std::unique_ptr<ShowcaseOrders> m_orders;
    std::unique_ptr<http::Server> m_server;
    mutable QMutex m_mutex;
    QSet<QString> m_visitors;
    QStringList m_placed;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    QSet<QString> m_filled;
    QTimer m_fillTimer;
};

} // namespace tavrin
