#pragma once

// What the files of the spreadsheet workspace model share: the run as it goes, the job's name
// and the words more than one of them shows.

#include "organizer/PhotoGroup.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QString>
#include <QUuid>

#include <atomic>
#include <memory>

namespace tavrin {

namespace workspace_detail {

inline const QString kRun = QStringLiteral("organizer run");
inline const QString kChooseEvent = QStringLiteral("Choisissez le jour, puis l’épreuve pour afficher les cavaliers.");

inline QString plural(bool when) { return when ? QStringLiteral("s") : QString(); }

inline QString filesLabel(qsizetype count, const QString& rangeLabel, bool pluralFromTwo)
{
    return QString::number(count) + QStringLiteral(" fichier") + plural(pluralFromTwo ? count >= 2 : count != 1)
        + QStringLiteral(" · ") + rangeLabel;
}

} // namespace workspace_detail

struct SpreadsheetWorkspaceModel::Run {
    QUuid spreadsheetID;
    QString title;
    QString destination;
    QList<PhotoGroup> groups;
    // Our own flag rather than the job's: a cancelled job drops the result that says what was
    // copied.
    std::shared_ptr<std::atomic_bool> cancel = std::make_shared<std::atomic_bool>(false);
};

} // namespace tavrin
