#include "reception/ShotClasses.h"

#include "library/LibraryStore.h"
#include "organizer/WorkspaceStore.h"

namespace tavrin {

QList<ShotClass> ShotClasses::of(const LibraryStore& library, WorkspaceStore& workspace)
{
    QList<ShotClass> classes;
    for (const SpreadsheetRecord& sheet : library.snapshot().spreadsheets) {
        const QList<QDateTime> times = workspace.settings(sheet.id).shotSince;
        if (times.isEmpty()) continue;
        const QString folder = workspace.resolveFolder(WorkspaceStore::FolderKind::source, sheet.id).value_or(QString());
        for (const QDateTime& since : times) classes.append({since, sheet.title, folder});
    }
    return classes;
}

} // namespace tavrin
