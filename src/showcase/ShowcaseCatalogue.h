#pragma once

// What the showcase offers: the riders' folders of one folder and their photos, each known to
// visitors only by an identifier given here (never a path), and the search by name or number.
// Thread-safe: the connections' threads ask it at once.

#include "programme/ProgrammeDocument.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

class ShowcaseCatalogue {
public:
    struct Rider {
        int id = -1;
        QString name; // the folder's name
        QString path;
    };
    struct Photo {
        int id = -1;
        QString name;
        QString path;
    };

    explicit ShowcaseCatalogue(QString folder, QList<ProgrammeDocument> programmes = {});

    const QString& folder() const { return m_folder; }
    // The riders whose folder name holds the text (case and accents folded as the programmes'
    // names are), or whose number in a known programme is the text; in file-browser order, at most
    // `limit`. An empty text finds nobody.
    QList<Rider> search(const QString& text, int limit = 60);
    std::optional<Rider> rider(int id);
    // The rider's photos as the folder holds them now.
    QList<Photo> photos(int riderId);
    std::optional<Photo> photo(int id);

    // The rider number the programmes give to the rider of that folder; empty when none does.
    QString riderNumber(const QString& folderName) const;

    // The riders named by hand in the notes (late entries), first, then the programmes kept by
    // the spreadsheet workspace and by the rider folders.
    static QList<ProgrammeDocument> knownProgrammes();

private:
    QList<Rider> scan();
    int idFor(QHash<QString, int>& ids, QStringList& paths, const QString& path);

    QString m_folder;
    QList<ProgrammeDocument> m_programmes;
    QMutex m_mutex;
    // Identifiers only grow: a folder or photo keeps its number while the showcase runs.
    QHash<QString, int> m_riderIds;
    QStringList m_riderPaths;
    QHash<QString, int> m_photoIds;
    QStringList m_photoPaths;
};

} // namespace tavrin
