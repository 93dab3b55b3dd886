#include "organizer/PhotoGroup.h"

#include "numbers/AssignedNumber.h"
#include "programme/FileNameSanitizer.h"

namespace tavrin {

QString PhotoGroup::folderName() const
{
    if (person) {
        const QString name = person->formattedName();
        return name.isEmpty() ? person->canonicalNumber : FileNameSanitizer::sanitize(name);
    }
    const std::optional<QString> canonical = AssignedNumber::canonical(row.assignedNumber);
    return FileNameSanitizer::sanitize(canonical ? *canonical : row.assignedNumber.trimmed());
}

QString PhotoGroup::rangeLabel() const
{
    if (endExclusive) return start.formatted() + QStringLiteral(" → avant ") + endExclusive->formatted();
    return start.formatted() + QStringLiteral(" → fin du dossier");
}

} // namespace tavrin
