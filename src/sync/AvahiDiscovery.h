#pragma once

#include "sync/AvahiQtPoll.h"
#include "sync/ServiceDiscovery.h"

#include <QByteArray>

#include <memory>
#include <optional>
#include <vector>

struct AvahiClient;
struct AvahiEntryGroup;
struct AvahiServiceBrowser;
struct AvahiServiceResolver;

namespace tavrin {

// DNS-SD through the system's Avahi daemon. The client tolerates a missing daemon: it reports
// `unavailable` and publishes and browses again on its own once the daemon (re)appears.
class AvahiDiscovery : public ServiceDiscovery {
    Q_OBJECT

public:
    explicit AvahiDiscovery(QObject* parent = nullptr);
    ~AvahiDiscovery() override;

    void publish(const QString& name, quint16 port, const QMap<QString, QString>& txt) override;
    void startBrowsing() override;
    void stopBrowsing() override;

    // French text for an Avahi error code.
    static QString message(int avahiError);
    static bool isDenial(int avahiError);

private:
    struct Found;
    struct Publication {
        QString name;
        quint16 port = 0;
        QMap<QString, QString> txt;
        int collisions = 0;
        QString advertised() const;
    };

    bool ensureClient();
    bool clientRunning() const;
    void onClientState(AvahiClient* client, int state);
    void registerService();
    void onGroupState(int state);
    void createBrowser();
    void onBrowse(int interface, int protocol, int event, const char* name, const char* type, const char* domain);
    void onResolved(Found* found, bool ok, const BrowseResult& result);
    void freeLookups();
    void freeGroup();
    void dropClient();
    void emitResults();
    // Emits from the event loop, never from inside an Avahi call made by the sync service.
    template <typename F>
    void post(F&& emitter);

    AvahiQtPoll m_poll;
    AvahiClient* m_client = nullptr;
    AvahiEntryGroup* m_group = nullptr;
    AvahiServiceBrowser* m_browser = nullptr;
    std::vector<std::unique_ptr<Found>> m_found;
    std::optional<Publication> m_publication;
    bool m_browsing = false;
    bool m_groupEstablished = false;
};

} // namespace tavrin
