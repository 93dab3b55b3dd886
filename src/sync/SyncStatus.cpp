#include "sync/SyncStatus.h"

namespace tavrin {

QString SyncStatus::title() const
{
    switch (kind) {
    case Kind::connecting: return QStringLiteral("Lien avec ") + payload + QStringLiteral("…");
    case Kind::synced: return QStringLiteral("Synchronisé · ") + payload;
    case Kind::failed: return payload;
    case Kind::idle: return QStringLiteral("Inactif");
    case Kind::searching: return QStringLiteral("Recherche…");
    }
    return {};
}

} // namespace tavrin
