#include "programme/ImportError.h"

namespace tavrin {

ImportError ImportError::unreadable()
{
    return ImportError(Kind::unreadable, QStringLiteral("Impossible de lire ce type de fichier."));
}

ImportError ImportError::noWebProgramme()
{
    return ImportError(Kind::noWebProgramme,
                       QStringLiteral("Cette page ne contient pas de programme exploitable. Ouvrez un concours ou une "
                                      "liste de départ."));
}

ImportError ImportError::webImportFailed(const QString& message) { return ImportError(Kind::webImportFailed, message); }

} // namespace tavrin
