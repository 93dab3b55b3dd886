#include "organizer/OrganizerReport.h"

namespace tavrin {

QString OrganizerReport::defaultHeadline() const
{
    if (headline) return *headline;
    const QString photos = copied >= 2 ? QStringLiteral(" photos copiées") : QStringLiteral(" photo copiée");
    return QString::number(folders) + (folders > 1 ? QStringLiteral(" dossiers") : QStringLiteral(" dossier"))
        + QStringLiteral(" · ") + QString::number(copied) + photos;
}

} // namespace tavrin
