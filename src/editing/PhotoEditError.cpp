#include "editing/PhotoEditError.h"

namespace tavrin {

QString PhotoEditError::description(Kind kind)
{
    switch (kind) {
    case Kind::unreadablePhoto: return QStringLiteral("Impossible de lire cette photo.");
    case Kind::unreadableWatermark: return QStringLiteral("Impossible de lire le fichier filigrane.");
    case Kind::composeFailed: return QStringLiteral("La composition de la photo a échoué.");
    case Kind::missingWatermark: return QStringLiteral("Choisissez d’abord un fichier filigrane.");
    }
    return {};
}

} // namespace tavrin
