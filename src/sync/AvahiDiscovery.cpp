#include "sync/AvahiDiscovery.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <QNetworkInterface>

namespace tavrin {

struct AvahiDiscovery::Found {
    AvahiDiscovery* owner;
    AvahiIfIndex interface;
    AvahiProtocol protocol;
    QByteArray name, type, domain;
    AvahiServiceResolver* resolver = nullptr;
    std::optional<BrowseResult> result;
};

namespace {

std::optional<QMap<QString, QString>> txtEntries(AvahiStringList* list)
{
    QMap<QString, QString> entries;
    for (AvahiStringList* l = list; l; l = avahi_string_list_get_next(l)) {
        char* key = nullptr;
        char* value = nullptr;
        size_t size = 0;
        if (avahi_string_list_get_pair(l, &key, &value, &size) < 0) continue;
        const QString k = QString::fromUtf8(key).toLower();
        if (!k.isEmpty()) entries.insert(k, value ? QString::fromUtf8(value, qsizetype(size)) : QString());
        avahi_free(key);
        avahi_free(value);
    }
    if (entries.isEmpty()) return std::nullopt;
    return entries;
}

QHostAddress hostAddress(const AvahiAddress* address, AvahiIfIndex interface)
{
    char text[AVAHI_ADDRESS_STR_MAX];
    if (!address || !avahi_address_snprint(text, sizeof text, address)) return {};
    QHostAddress result(QString::fromLatin1(text));
    if (result.protocol() == QAbstractSocket::IPv6Protocol && result.isLinkLocal())
        result.setScopeId(QNetworkInterface::interfaceNameFromIndex(interface));
    return result;
}

} // namespace

AvahiDiscovery::AvahiDiscovery(QObject* parent) : ServiceDiscovery(parent) {}

AvahiDiscovery::~AvahiDiscovery()
{
    freeLookups();
    freeGroup();
    if (m_client) avahi_client_free(m_client);
}

QString AvahiDiscovery::Publication::advertised() const
{
    // Same form as the suffix other devices add on a name clash, which base names ignore.
    return collisions == 0 ? name : name + QStringLiteral(" (%1)").arg(collisions + 1);
}

template <typename F>
void AvahiDiscovery::post(F&& emitter)
{
    QMetaObject::invokeMethod(this, std::forward<F>(emitter), Qt::QueuedConnection);
}

bool AvahiDiscovery::isDenial(int avahiError)
{
    return avahiError == AVAHI_ERR_ACCESS_DENIED || avahiError == AVAHI_ERR_NOT_PERMITTED;
}

QString AvahiDiscovery::message(int avahiError)
{
    switch (avahiError) {
    case AVAHI_ERR_NO_NETWORK: return QStringLiteral("Aucun réseau local disponible");
    case AVAHI_ERR_TOO_MANY_CLIENTS:
    case AVAHI_ERR_TOO_MANY_OBJECTS:
    case AVAHI_ERR_TOO_MANY_ENTRIES: return QStringLiteral("Trop d’annonces sur le réseau local");
    case AVAHI_ERR_INVALID_SERVICE_NAME: return QStringLiteral("Nom d’appareil invalide pour le réseau local");
    case AVAHI_ERR_TIMEOUT: return QStringLiteral("Le réseau local ne répond pas");
    default: return QStringLiteral("Erreur du réseau local (") + QString::fromUtf8(avahi_strerror(avahiError)) + u')';
    }
}

bool AvahiDiscovery::ensureClient()
{
    if (m_client) return true;
    int error = 0;
    // NO_FAIL: a missing daemon gives a client waiting for it rather than no client.
    AvahiClient* client = avahi_client_new(
        m_poll.api(), AVAHI_CLIENT_NO_FAIL,
        [](AvahiClient* c, AvahiClientState state, void* self) { static_cast<AvahiDiscovery*>(self)->onClientState(c, state); },
        this, &error);
    if (!client) {
        post([this] { Q_EMIT unavailable(); }); // no system bus at all
        return false;
    }
    m_client = client;
    return true;
}

bool AvahiDiscovery::clientRunning() const
{
    return m_client && avahi_client_get_state(m_client) == AVAHI_CLIENT_S_RUNNING;
}

void AvahiDiscovery::onClientState(AvahiClient* client, int state)
{
    if (!m_client) m_client = client; // the first call comes from inside avahi_client_new
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        if (m_publication) registerService();
        if (m_browsing && !m_browser) createBrowser();
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The daemon renames the host; our records come back once it runs again.
        if (m_group) avahi_entry_group_reset(m_group);
        m_groupEstablished = false;
        break;
    case AVAHI_CLIENT_CONNECTING:
        freeLookups();
        freeGroup();
        post([this] { Q_EMIT unavailable(); });
        break;
    case AVAHI_CLIENT_FAILURE:
        freeLookups();
        freeGroup();
        post([this] { Q_EMIT unavailable(); });
        // Not from inside the client's own callback: a new client waits for the daemon.
        QMetaObject::invokeMethod(this, [this] { dropClient(); if (m_publication || m_browsing) ensureClient(); },
                                  Qt::QueuedConnection);
        break;
    default: break;
    }
}

void AvahiDiscovery::dropClient()
{
    freeLookups();
    freeGroup();
    if (m_client) avahi_client_free(m_client);
    m_client = nullptr;
}

void AvahiDiscovery::publish(const QString& name, quint16 port, const QMap<QString, QString>& txt)
{
    if (m_publication && m_publication->name == name && m_publication->port == port && m_publication->txt == txt) {
        if (m_groupEstablished) post([this, advertised = m_publication->advertised()] { Q_EMIT published(advertised); });
        if (!m_client) ensureClient();
        return;
    }
    freeGroup();
    m_publication = Publication{name, port, txt, 0};
    if (!ensureClient()) return;
    if (clientRunning()) registerService();
}

void AvahiDiscovery::registerService()
{
    if (!m_group) {
        m_group = avahi_entry_group_new(
            m_client, [](AvahiEntryGroup*, AvahiEntryGroupState state, void* self) { static_cast<AvahiDiscovery*>(self)->onGroupState(state); },
            this);
        if (!m_group) {
            const int error = avahi_client_errno(m_client);
            post([this, error] { Q_EMIT publishFailed(message(error), isDenial(error)); });
            return;
        }
    }
    if (!avahi_entry_group_is_empty(m_group)) return;

    AvahiStringList* txt = nullptr;
    for (auto it = m_publication->txt.cbegin(); it != m_publication->txt.cend(); ++it)
        txt = avahi_string_list_add_pair(txt, it.key().toUtf8().constData(), it.value().toUtf8().constData());
    int error = 0;
    for (;;) {
        error = avahi_entry_group_add_service_strlst(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                     m_publication->advertised().toUtf8().constData(),
                                                     kServiceType.toUtf8().constData(), nullptr, nullptr,
                                                     m_publication->port, txt);
        if (error != AVAHI_ERR_COLLISION) break;
        ++m_publication->collisions;
    }
    avahi_string_list_free(txt);
    if (error >= 0) error = avahi_entry_group_commit(m_group);
    if (error < 0) {
        avahi_entry_group_reset(m_group);
        post([this, error] { Q_EMIT publishFailed(message(error), isDenial(error)); });
    }
}

void AvahiDiscovery::onGroupState(int state)
{
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        m_groupEstablished = true;
        post([this, advertised = m_publication ? m_publication->advertised() : QString()] { Q_EMIT published(advertised); });
        break;
    case AVAHI_ENTRY_GROUP_COLLISION:
        // Another device advertises the same name: take the next "name (n)".
        m_groupEstablished = false;
        if (!m_publication) break;
        ++m_publication->collisions;
        QMetaObject::invokeMethod(this, [this] { if (m_group && m_publication) { avahi_entry_group_reset(m_group); registerService(); } },
                                  Qt::QueuedConnection);
        break;
    case AVAHI_ENTRY_GROUP_FAILURE: {
        m_groupEstablished = false;
        const int error = m_client ? avahi_client_errno(m_client) : AVAHI_ERR_FAILURE;
        post([this, error] { Q_EMIT publishFailed(message(error), isDenial(error)); });
        break;
    }
    default: break;
    }
}

void AvahiDiscovery::freeGroup()
{
    if (m_group) avahi_entry_group_free(m_group);
    m_group = nullptr;
    m_groupEstablished = false;
}

void AvahiDiscovery::startBrowsing()
{
    m_browsing = true;
    freeLookups();
    if (!ensureClient()) return;
    if (clientRunning()) createBrowser();
}

void AvahiDiscovery::stopBrowsing()
{
    m_browsing = false;
    freeLookups();
}

void AvahiDiscovery::createBrowser()
{
    m_browser = avahi_service_browser_new(
        m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType.toUtf8().constData(), "local", AvahiLookupFlags(0),
        [](AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event, const char* name,
           const char* type, const char* domain, AvahiLookupResultFlags, void* self) {
            static_cast<AvahiDiscovery*>(self)->onBrowse(interface, protocol, event, name, type, domain);
        },
        this);
    if (!m_browser) {
        const int error = avahi_client_errno(m_client);
        post([this, error] { Q_EMIT browseFailed(isDenial(error)); });
    }
}

void AvahiDiscovery::onBrowse(int interface, int protocol, int event, const char* name, const char* type, const char* domain)
{
    const auto same = [&](const std::unique_ptr<Found>& f) {
        return f->interface == interface && f->protocol == protocol && f->name == name && f->type == type && f->domain == domain;
    };
    switch (event) {
    case AVAHI_BROWSER_NEW: {
        if (std::any_of(m_found.begin(), m_found.end(), same)) break;
        auto found = std::make_unique<Found>(Found{this, interface, protocol, name, type, domain, nullptr, std::nullopt});
        found->resolver = avahi_service_resolver_new(
            m_client, interface, protocol, name, type, domain, protocol, AvahiLookupFlags(0),
            [](AvahiServiceResolver*, AvahiIfIndex iface, AvahiProtocol, AvahiResolverEvent ev, const char* n, const char*,
               const char*, const char*, const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
               AvahiLookupResultFlags, void* userdata) {
                auto* f = static_cast<Found*>(userdata);
                if (ev != AVAHI_RESOLVER_FOUND) {
                    // Unresolvable for now: unlisted until the next browse finds it again.
                    avahi_service_resolver_free(f->resolver);
                    f->resolver = nullptr;
                    return;
                }
                f->result = BrowseResult{QString::fromUtf8(n), txtEntries(txt),
                                         SyncEndpoint{hostAddress(address, iface), port, iface, SyncEndpoint::interfaceKind(iface)}};
                f->owner->emitResults();
            },
            found.get());
        m_found.push_back(std::move(found));
        break;
    }
    case AVAHI_BROWSER_REMOVE: {
        const auto it = std::find_if(m_found.begin(), m_found.end(), same);
        if (it == m_found.end()) break;
        if ((*it)->resolver) avahi_service_resolver_free((*it)->resolver);
        const bool listed = (*it)->result.has_value();
        m_found.erase(it);
        if (listed) emitResults();
        break;
    }
    case AVAHI_BROWSER_FAILURE: {
        const int error = avahi_client_errno(m_client);
        post([this, error] { Q_EMIT browseFailed(isDenial(error)); });
        break;
    }
    case AVAHI_BROWSER_ALL_FOR_NOW:
        // Everything known is listed: an empty network shows as such after a new browse.
        emitResults();
        break;
    default: break; // CACHE_EXHAUSTED
    }
}

void AvahiDiscovery::freeLookups()
{
    for (const auto& f : m_found)
        if (f->resolver) avahi_service_resolver_free(f->resolver);
    m_found.clear();
    if (m_browser) avahi_service_browser_free(m_browser);
    m_browser = nullptr;
}

void AvahiDiscovery::emitResults()
{
    QList<BrowseResult> results;
    for (const auto& f : m_found)
        if (f->result) results.push_back(*f->result);
    post([this, results] { Q_EMIT resultsChanged(results); });
}

} // namespace tavrin
