#include "organizer/PhotoOrganizer.h"

#include "numbers/AssignedNumber.h"
#include "organizer/FileErrors.h"
#include "numbers/PathText.h"
#include "organizer/PhotoCopier.h"
#include "organizer/PhotoFile.h"
#include "programme/FileNameSanitizer.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin::PhotoOrganizer {

namespace {

QString plural(bool when) { return when ? QStringLiteral("s") : QString(); }

// A file name from the disk; camera names are ASCII, which needs no decoding.
QString decodedName(const char* name)
{
    const size_t length = std::strlen(name);
    const bool ascii = std::all_of(name, name + length, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? QString::fromLatin1(name, qsizetype(length)) : QFile::decodeName(QByteArray(name, qsizetype(length)));
}

// PhotoFile::isPhoto without building a string per file: a folder of 20,000 photos asks 20,000
// times.
bool isPhotoName(QStringView name)
{
    static const std::vector<QByteArray> extensions = [] {
        std::vector<QByteArray> list;
        for (const QString& extension : PhotoFile::extensions()) list.push_back(extension.toLatin1());
        return list;
    }();
    const QStringView extension = PathText::pathExtension(name);
    char lower[8];
    if (extension.isEmpty() || extension.size() > qsizetype(sizeof lower)) return false;
    for (qsizetype i = 0; i < extension.size(); ++i) {
        const char16_t c = extension[i].unicode();
        if (c >= 0x80) return PhotoFile::isPhoto(name);
        lower[i] = char(c >= u'A' && c <= u'Z' ? c + 32 : c);
    }
    const QByteArrayView wanted(lower, extension.size());
    return std::any_of(extensions.begin(), extensions.end(), [&](const QByteArray& e) { return e == wanted; });
}

// The visible children of a folder, by name; throws the folder's error.
QStringList visibleChildren(const QString& folder)
{
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) throw FileErrors::unreadableFolder(folder, errno);
    QStringList names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue; // hidden, and the . and .. entries
        names.push_back(decodedName(entry->d_name));
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) throw FileErrors::unreadableFolder(folder, error);
    return names;
}

bool pathExists(const QString& path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? QString(folder + name) : QString(folder + u'/' + name);
}

struct NumberedRow {
    PhotoNumber number;
    QString idText;
    const RowRecord* row;
};

struct NumberedFile {
    PhotoNumber number;
    QString name;
};

} // namespace

QList<PhotoGroup> plan(const SpreadsheetRecord& spreadsheet, const QList<ImportedPerson>& catalog,
                       const QString& sourceDirectory, qsizetype* photoCount)
{
    QHash<QString, const ImportedPerson*> index;
    index.reserve(catalog.size());
    for (const ImportedPerson& person : catalog)
        if (!index.contains(person.canonicalNumber)) index.insert(person.canonicalNumber, &person);

    std::vector<NumberedRow> rows;
    for (const RowRecord& row : spreadsheet.rows) {
        const QString photo = row.photoNumber.trimmed();
        if (photo.isEmpty() || row.assignedNumber.trimmed().isEmpty()) continue;
        if (std::optional<PhotoNumber> number = PhotoNumber::parse(photo))
            rows.push_back({std::move(*number), row.id.toString(QUuid::WithoutBraces).toUpper(), &row});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const NumberedRow& a, const NumberedRow& b) {
        if (a.number != b.number) return a.number < b.number;
        return a.idText < b.idText;
    });

    std::vector<NumberedFile> files;
    const QStringList children = visibleChildren(sourceDirectory);
    files.reserve(size_t(children.size()));
    for (const QString& name : children) {
        if (!isPhotoName(name)) continue;
        const QString trimmed = name.trimmed();
        if (trimmed.isEmpty()) continue;
        if (std::optional<PhotoNumber> number = PhotoNumber::parse(trimmed)) files.push_back({std::move(*number), name});
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const NumberedFile& a, const NumberedFile& b) { return a.number < b.number; });
    if (photoCount) {
        // A RAW sent with its JPEG (DSC_0412.NEF and DSC_0412.JPG) is one photo.
        QSet<QStringView> stems;
        stems.reserve(qsizetype(files.size()));
        for (const NumberedFile& file : files) {
            const qsizetype dot = file.name.lastIndexOf(u'.');
            stems.insert(dot > 0 ? QStringView(file.name).left(dot) : QStringView(file.name));
        }
        *photoCount = stems.size();
    }

    QList<PhotoGroup> groups;
    groups.reserve(qsizetype(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const PhotoNumber& start = rows[i].number;
        const std::optional<PhotoNumber> end = i + 1 < rows.size() ? std::optional(rows[i + 1].number) : std::nullopt;
        // Files are sorted by value first, so a range of values is one run of the list.
        const auto first = std::partition_point(files.begin(), files.end(),
                                                [&](const NumberedFile& f) { return f.number.value < start.value; });
        const auto last = end ? std::partition_point(first, files.end(),
                                                     [&](const NumberedFile& f) { return f.number.value < end->value; })
                              : files.end();
        // Prefixes tell two cameras apart only where the folder holds the row's own prefix.
        const bool separatePrefixes = !start.prefix.isEmpty() && std::any_of(first, last, [&](const NumberedFile& f) {
            return f.number.prefix == start.prefix;
        });
        PhotoGroup group{*rows[i].row, std::nullopt, start, end, {}};
        group.files.reserve(last - first);
        for (auto f = first; f != last; ++f) {
            if (separatePrefixes && !f->number.prefix.isEmpty() && f->number.prefix != start.prefix) continue;
            group.files.push_back(joined(sourceDirectory, f->name));
        }
        if (const std::optional<QString> canonical = AssignedNumber::canonical(group.row.assignedNumber))
            if (const ImportedPerson* person = index.value(*canonical)) group.person = *person;
        groups.push_back(std::move(group));
    }
    return groups;
}

QString noPhotoMessage(const QString& folder)
{
    QString message = QStringLiteral("Aucune photo dans « ") + PathText::lastPathComponent(folder).toString() + QStringLiteral(" ».");
    // Breadth first, in name order, so that DCIM/100NIKON comes before DCIM/101NIKON and a
    // shallow folder before a deep one; a few levels and folders are enough for a card.
    QStringList pending{QString()};
    for (int visited = 0; !pending.isEmpty() && visited < 256; ++visited) {
        const QString relative = pending.takeFirst();
        const QString path = relative.isEmpty() ? folder : joined(folder, relative);
        QStringList children;
        try {
            children = visibleChildren(path);
        } catch (const Error&) {
            continue;
        }
        children.sort();
        if (!relative.isEmpty() && std::any_of(children.begin(), children.end(), [](const QString& name) {
                return isPhotoName(name) && PhotoNumber::parse(name.trimmed());
            }))
            return message + QStringLiteral(" Les photos sont dans « ") + relative + QStringLiteral(" ».");
        if (relative.count(u'/') >= 3) continue;
        for (const QString& name : children) {
            struct stat st{};
            const QString child = relative.isEmpty() ? name : relative + u'/' + name;
            if (::stat(QFile::encodeName(joined(folder, child)).constData(), &st) == 0 && S_ISDIR(st.st_mode))
                pending.push_back(child);
        }
    }
    return message;
}

QString failureMessage(const CopyFailure& failure)
{
    QString reason;
    if (FileErrors::isNoSpace(failure.error)) reason = QStringLiteral(" (disque plein)");
    else if (failure.error == EACCES || failure.error == EPERM || failure.error == EROFS)
        reason = QStringLiteral(" (autorisation refusée)");
    else if (failure.error == ENOENT) reason = QStringLiteral(" (photo introuvable)");
    constexpr qsizetype shown = 3;
    QString names = failure.files.first(std::min(shown, failure.files.size())).join(QStringLiteral(", "));
    if (failure.files.size() > shown) {
        const qsizetype others = failure.files.size() - shown;
        names += QStringLiteral(" et ") + QString::number(others) + QStringLiteral(" autre") + plural(others > 1);
    }
    return QStringLiteral("Copie impossible") + reason + QStringLiteral(" : ") + names;
}

namespace {

qint64 modifiedTime(const struct stat& st) { return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

} // namespace

QList<MisplacedCopy> misplacedCopies(const QString& source, const QString& destination, const QString& folderName,
                                     const CopyMemory& memory)
{
    QList<MisplacedCopy> out;
    QString root = destination;
    while (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
    root += u'/';
    QSet<QString> seen;
    for (auto it = memory.constFind(source); it != memory.constEnd() && it.key() == source; ++it) {
        const CopiedPhoto& copy = *it;
        if (!copy.target.startsWith(root) || seen.contains(copy.target)) continue;
        seen.insert(copy.target);
        // Only the rider folders right under the destination are the run's to judge.
        const QStringView rest = QStringView(copy.target).mid(root.size());
        const qsizetype slash = rest.indexOf(u'/');
        if (slash <= 0 || rest.indexOf(u'/', slash + 1) >= 0) continue;
        const QString from = rest.left(slash).toString();
        if (from == folderName) continue;
        struct stat there{};
        if (::lstat(QFile::encodeName(copy.target).constData(), &there) != 0 || !S_ISREG(there.st_mode)) continue;
        struct stat photo{};
        const bool photoUnchanged = ::stat(QFile::encodeName(source).constData(), &photo) == 0 && photo.st_size == copy.size
            && modifiedTime(photo) == copy.modified;
        // Our copies keep the photo's date to the nanosecond: any edit since shows.
        const bool copyUnchanged = there.st_size == copy.size && modifiedTime(there) == copy.modified;
        out.push_back(MisplacedCopy{{}, copy, from, folderName, copy.made && photoUnchanged && copyUnchanged, std::nullopt});
    }
    return out;
}

QList<MisplacedCopy> misplacedCopies(const QList<PhotoGroup>& groups, const QString& destination, const CopyMemory& memory)
{
    QList<MisplacedCopy> out;
    if (memory.isEmpty()) return out;
    for (const PhotoGroup& group : groups) {
        const QString folder = group.folderName();
        for (const QString& file : group.files)
            for (MisplacedCopy& misplaced : misplacedCopies(file, destination, folder, memory)) {
                misplaced.rowID = group.row.id;
                out.push_back(std::move(misplaced));
            }
    }
    return out;
}

QString leftInPlaceMessage(const MisplacedCopy& misplaced)
{
    return misplaced.fromFolder + QStringLiteral(" : ") + PathText::lastPathComponent(misplaced.copy.target).toString()
        + QStringLiteral(" n’appartient plus à ce cavalier (laissée dans le dossier)");
}

QString movedFromText(const QList<MisplacedCopy>& moved, bool toCome)
{
    QStringList order;
    QHash<QString, qint64> counts;
    for (const MisplacedCopy& m : moved) {
        if (!counts.contains(m.fromFolder)) order.push_back(m.fromFolder);
        ++counts[m.fromFolder];
    }
    QString text;
    for (const QString& folder : order) {
        const qint64 n = counts.value(folder);
        text += QStringLiteral(" · ") + QString::number(n) + QStringLiteral(" photo") + plural(n > 1)
            + (toCome ? QStringLiteral(" à déplacer") : QStringLiteral(" déplacée") + plural(n > 1)) + QStringLiteral(" depuis ") + folder;
    }
    return text;
}

QString rowLabel(const PhotoGroup& group)
{
    if (group.person) return group.person->displayName();
    return group.folderName() + QStringLiteral(" (sans nom dans le programme)");
}

OrganizerReport execute(const QList<PhotoGroup>& groups, const QString& destination, RunControl* control)
{
    FileErrors::createDirectories(destination);
    qint64 total = 0;
    for (const PhotoGroup& group : groups) total += group.files.size();
    const auto cancelled = [control] {
        return control && control->cancelRequested && control->cancelRequested->load(std::memory_order_relaxed);
    };

    OrganizerReport report;
    QSet<QString> folders;
    qint64 done = 0;
    bool diskFull = false;
    bool stopped = false;
    for (const PhotoGroup& group : groups) {
        if (cancelled()) {
            stopped = true;
            break;
        }
        const QString label = rowLabel(group);
        if (group.files.isEmpty()) {
            ++report.skipped;
            report.messages.push_back(label + QStringLiteral(" : aucune photo dans l’intervalle ") + group.rangeLabel() + u'.');
            if (control) ++control->groupsFinished;
            continue;
        }
        const QString folderName = group.folderName();
        const QString folder = joined(destination, folderName);
        // A name that is no folder of its own would put photos beside or above the others.
        if (folderName.isEmpty() || folderName == u"." || folderName == u"..")
            throw FileErrors::uncreatableFolder(folder, EINVAL);
        const bool existed = pathExists(folder);
        FileErrors::createDirectories(folder);
        std::optional<PhotoCopier> copier;
        try {
            copier.emplace(folder);
        } catch (const PhotoCopier::Failure& failure) {
            throw FileErrors::uncreatableFolder(folder, failure.error);
        }
        // What an earlier run killed midway left behind.
        copier->removeStaleTemporaries();

        qint64 processed = 0, duplicates = 0, present = 0;
        CopyFailure failed{group.row.id, {}, 0};
        QList<CopiedPhoto> placed;
        QList<MisplacedCopy> movedHere;
        qint64 movedFiles = 0;
        QStringList leftThere;
        const CopyMemory* memory = control ? control->memory : nullptr;
        for (const QString& file : group.files) {
            if (cancelled()) {
                stopped = true;
                break;
            }
            if (control && control->progress) control->progress(done, total, label);
            const QString fileName = PathText::lastPathComponent(file).toString();
            // Copies left in a folder the photo no longer belongs to: ours move, others stay.
            std::optional<QString> standing;
            std::optional<CopiedPhoto> renamedIn;
            bool moved = false;
            for (MisplacedCopy& misplaced : memory ? misplacedCopies(file, destination, folderName, *memory) : QList<MisplacedCopy>()) {
                misplaced.rowID = group.row.id;
                if (misplaced.movable) {
                    try {
                        if (!standing) standing = copier->alreadyThere(file);
                        if (standing) {
                            // The photo already stands in its folder: this copy is only in the way.
                            if (::unlink(QFile::encodeName(misplaced.copy.target).constData()) != 0) throw PhotoCopier::Failure(errno);
                        } else {
                            standing = copier->moveIn(misplaced.copy.target);
                            renamedIn = misplaced.copy;
                            renamedIn->target = joined(folder, *standing);
                        }
                        misplaced.movedTo = joined(folder, *standing);
                    } catch (const PhotoCopier::Failure&) {
                        misplaced.movable = false;
                    }
                }
                if (misplaced.movedTo) {
                    movedHere.push_back(misplaced);
                    moved = true;
                } else {
                    leftThere.push_back(leftInPlaceMessage(misplaced));
                }
                if (control) control->misplaced.push_back(misplaced);
            }
            try {
                PhotoCopier::Placement placement = renamedIn ? PhotoCopier::Placement{*standing, true, *renamedIn}
                                                             : copier->place(file, memory);
                if (moved) {
                    ++movedFiles;
                    ++report.moved;
                } else if (placement.alreadyThere) {
                    ++present;
                    ++report.alreadyPresent;
                } else {
                    if (placement.name != fileName) ++duplicates;
                    ++report.copied;
                }
                placed.push_back(std::move(placement.record));
            } catch (const PhotoCopier::Failure& failure) {
                ++report.skipped;
                ++report.failed;
                report.messages.push_back(QStringLiteral("Copie impossible : ") + fileName);
                diskFull = diskFull || FileErrors::isNoSpace(failure.error);
                if (failed.files.isEmpty()) failed.error = failure.error;
                failed.files.push_back(fileName);
            }
            ++processed;
            ++done;
        }
        // A folder counts once it received, or was to receive, a photo not already in it.
        if (processed > present) folders.insert(folder);
        if (control) {
            control->counters += copier->counters();
            if (!placed.isEmpty()) control->placed[group.row.id] += placed;
        }

        // A row counts the photos copied, then those already there, then those that failed.
        const qint64 arrived = processed - failed.files.size() - present - movedFiles;
        const auto photos = [](qint64 n) -> QString { return QString::number(n) + QStringLiteral(" photo") + plural(n > 1); };
        const auto alreadyThere = [](qint64 n) -> QString { return QStringLiteral(" déjà présente") + plural(n > 1); };
        QString message = label + QStringLiteral(" — ");
        if (arrived == 0 && present == 0 && movedFiles > 0) {
            message += movedFromText(movedHere).mid(3);
        } else if (arrived == 0 && present > 0) {
            message += photos(present) + alreadyThere(present);
        } else {
            message += photos(arrived);
            if (existed) message += QStringLiteral(" ajoutée") + plural(arrived > 1) + QStringLiteral(" au dossier existant");
            if (duplicates > 0)
                message += QStringLiteral(" · ") + QString::number(duplicates) + QStringLiteral(" copie") + plural(duplicates != 1)
                    + QStringLiteral(" (fichier déjà présent)");
            if (present > 0) message += QStringLiteral(" · ") + QString::number(present) + alreadyThere(present);
        }
        if (!failed.files.isEmpty()) {
            const qsizetype n = failed.files.size();
            message += QStringLiteral(" · ") + QString::number(n) + QStringLiteral(" non copiée") + plural(n > 1);
            if (control) control->failures.push_back(failed);
        }
        if (arrived > 0 || present > 0) message += movedFromText(movedHere);
        // A run stopped before the group's first photo says nothing of the group.
        if (!stopped || processed > 0) report.messages.push_back(message);
        report.messages += leftThere;
        if (stopped) break;
        if (control) ++control->groupsFinished;
    }

    // The copies of the run survive a power cut from here on.
    if (report.copied > 0 || report.moved > 0) {
        try {
            PhotoCopier(destination).syncFileSystem();
        } catch (const PhotoCopier::Failure&) {
        }
    }
    if (diskFull) report.messages.push_back(QStringLiteral("Le disque de destination est plein."));
    if (stopped) {
        const qint64 left = total - done;
        report.messages.push_back(QStringLiteral("Organisation annulée — ") + QString::number(left) + QStringLiteral(" photo")
                                  + plural(left > 1) + QStringLiteral(" non copiée") + plural(left > 1) + u'.');
    }
    if (control) control->cancelled = stopped;
    report.folders = folders.size();
    // A run stopped early has not seen every photo: it cannot say that all were there.
    if (stopped && report.copied == 0 && report.failed == 0 && report.alreadyPresent > 0) {
        OrganizerReport counts = report;
        counts.alreadyPresent = 0;
        report.headline = counts.defaultHeadline();
    }
    return report;
}

namespace {

// Upper and lower case, full and half width are one name; accents keep names apart.
QString foldedName(QStringView name) { return name.trimmed().toString().normalized(QString::NormalizationForm_KC).toCaseFolded(); }

} // namespace

OrganizerReport createEmptyRiderFolders(const QList<ImportedPerson>& people, const QString& destination)
{
    FileErrors::createDirectories(destination);
    QHash<QString, QString> existing; // folded name → name on disk
    try {
        for (const QString& name : visibleChildren(destination)) existing.insert(foldedName(name), name);
    } catch (const Error&) {
        // An unlistable destination is treated as empty; creating in it will say what is wrong.
    }

    qint64 created = 0, present = 0, unnamed = 0, failed = 0;
    QSet<QString> handled;
    QStringList messages;
    for (const ImportedPerson& person : people) {
        const QString formatted = person.formattedName();
        if (formatted.isEmpty()) {
            ++unnamed;
            continue;
        }
        const QString name = FileNameSanitizer::sanitize(formatted);
        if (name.isEmpty()) continue;
        const QString key = foldedName(name);
        if (handled.contains(key)) continue;
        handled.insert(key);
        if (const auto it = existing.constFind(key); it != existing.constEnd() && *it != name) {
            ++present;
            continue;
        }
        const QString target = joined(destination, name);
        if (pathExists(target)) {
            ++present;
            continue;
        }
        if (::mkdir(QFile::encodeName(target).constData(), 0777) == 0) {
            ++created;
            existing.insert(key, name);
        } else if (pathExists(target)) {
            ++present;
        } else {
            ++failed;
            messages.push_back(QStringLiteral("Impossible de créer « ") + name + QStringLiteral(" »"));
        }
    }

    const auto s = [](qint64 n) { return plural(n != 1); };
    if (created > 0)
        messages.push_back(QString::number(created) + QStringLiteral(" dossier") + s(created) + QStringLiteral(" NOM PRENOM créé") + s(created));
    if (present > 0)
        messages.push_back(QString::number(present) + QStringLiteral(" déjà présent") + s(present) + QStringLiteral(" — ignoré")
                           + s(present) + QStringLiteral(", contenu conservé"));
    if (unnamed > 0)
        messages.push_back(QString::number(unnamed) + QStringLiteral(" cavalier") + s(unnamed) + QStringLiteral(" sans nom ignoré")
                           + s(unnamed));

    QString headline;
    if (created == 0 && present == 0 && unnamed == 0 && failed == 0) {
        messages.push_back(QStringLiteral("Aucun cavalier exploitable dans ce programme."));
        headline = QStringLiteral("Aucun dossier créé");
    } else if (created == 0) {
        headline = present > 0 ? QStringLiteral("Tous les dossiers étaient déjà présents (") + QString::number(present) + u')'
                               : QStringLiteral("Aucun dossier créé");
    } else {
        headline = QString::number(created) + QStringLiteral(" dossier") + s(created) + QStringLiteral(" vide") + s(created)
            + QStringLiteral(" créé") + s(created);
    }
    return OrganizerReport{0, created, unnamed + present + failed, messages, headline};
}

} // namespace tavrin::PhotoOrganizer
