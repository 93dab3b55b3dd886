#include "organizer/OrganizerReport.h"

namespace tavrin {

QString OrganizerReport::defaultHeadline() const
{
    if (headline) return *headline;
    if (copied == 0 && failed == 0 && moved == 0 && alreadyPresent > 0) return QStringLiteral("Tout était déjà copié");
    const QString photos = copied >= 2 ? QStringLiteral(" photos copiées") : QStringLiteral(" photo copiée");
    QString line = QString::number(folders) + (folders > 1 ? QStringLiteral(" dossiers") : QStringLiteral(" dossier"))
        + QStringLiteral(" · ") + QString::number(copied) + photos;
    if (failed > 0)
        line += QStringLiteral(" · ") + QString::number(failed)
            + (failed >= 2 ? QStringLiteral(" photos non copiées") : QStringLiteral(" photo non copiée"));
    if (moved > 0)
        line += QStringLiteral(" · ") + QString::number(moved)
            + (moved >= 2 ? QStringLiteral(" photos déplacées") : QStringLiteral(" photo déplacée"));
    return line;
}

} // namespace tavrin
