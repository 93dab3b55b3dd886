#include "reception/CardImport.h"

#include "base/Error.h"
#include "organizer/PhotoFile.h"
#include "reception/VerifiedCopy.h"
#include "rounds/CaptureTimes.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <cerrno>
#include <cstring>

namespace tavrin {

namespace {

QString stemOf(const QString& path)
{
    const QFileInfo info(path);
    return info.path() + QLatin1Char('/') + info.completeBaseName();
}

// The same photo: the same size and, where both have one, the same capture time.
bool samePhoto(const QString& a, const QString& b)
{
    if (QFileInfo(a).size() != QFileInfo(b).size()) return false;
    const std::optional<QDateTime> ta = CaptureTimes::exifTime(a), tb = CaptureTimes::exifTime(b);
    return ta.has_value() == tb.has_value() && (!ta || *ta == *tb);
}

} // namespace

QString CardPlan::offer() const
{
    const QLocale fr(QLocale::French);
    QString text = QStringLiteral("Importer la carte « ") + label + QStringLiteral(" » (") + fr.toString(photoCount) +
                   (photoCount > 1 ? QStringLiteral(" photos") : QStringLiteral(" photo"));
    if (newSeries > 0)
        text += QStringLiteral(", ") + fr.toString(newSeries) +
                (newSeries > 1 ? QStringLiteral(" nouvelles séries") : QStringLiteral(" nouvelle série"));
    else
        text += QStringLiteral(", rien de nouveau");
    return text + QLatin1Char(')');
}

bool CardImport::isCard(const QString& mountPoint)
{
    const QDir dcim(QDir(mountPoint).filePath(QStringLiteral("DCIM")));
    return dcim.exists() && !dcim.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
}

CardPlan CardImport::plan(const QString& mountPoint, const QString& receptionFolder)
{
    const QString dcim = QDir(mountPoint).filePath(QStringLiteral("DCIM"));
    if (!QFileInfo(dcim).isDir())
        throw Error(QStringLiteral("« ") + mountPoint + QStringLiteral(" » n’est pas une carte d’appareil photo (pas de dossier DCIM)."));
    CardPlan plan;
    plan.label = QFileInfo(QDir(mountPoint).absolutePath()).fileName();

    // What the reception folder already holds, by file name.
    QHash<QString, QStringList> received;
    QDirIterator there(receptionFolder, QDir::Files, QDirIterator::Subdirectories);
    while (there.hasNext()) {
        const QString path = there.next();
        received[there.fileInfo().fileName()].append(path);
    }

    QSet<QString> stems, newFolders;
    QDirIterator it(dcim, QDir::Files, QDirIterator::Subdirectories);
    QStringList sources;
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(QLatin1Char('.')) || !PhotoFile::isPhoto(path)) continue;
        sources.append(path);
    }
    std::sort(sources.begin(), sources.end());
    for (const QString& source : sources) {
        const QFileInfo info(source);
        stems.insert(stemOf(source));
        const QStringList& same = received.value(info.fileName());
        if (std::any_of(same.begin(), same.end(), [&](const QString& path) { return samePhoto(path, source); })) {
            ++plan.alreadyThere;
            continue;
        }
        // Another camera's photo of the same name keeps its own under the card's name.
        const QString relative = same.isEmpty() ? info.fileName() : plan.label + QLatin1Char('/') + info.fileName();
        plan.toCopy.append({source, relative});
        newFolders.insert(info.absolutePath());
    }
    plan.photoCount = stems.size();
    plan.newSeries = int(newFolders.size());
    return plan;
}

CardImportResult CardImport::run(const CardPlan& plan, const QString& receptionFolder,
                                 const std::function<void(qsizetype, qsizetype)>& progress,
                                 const std::function<void(const QString&)>& copied)
{
    CardImportResult result;
    for (qsizetype i = 0; i < plan.toCopy.size(); ++i) {
        const CardPhoto& photo = plan.toCopy[i];
        const VerifiedCopy::Result r = VerifiedCopy::copy(photo.source, receptionFolder, photo.relativePath, nullptr);
        if (r.outcome == VerifiedCopy::Outcome::copied) {
            result.copied.append(photo.relativePath);
            if (copied) copied(photo.relativePath);
        }
        if (r.outcome == VerifiedCopy::Outcome::failed && r.error != EEXIST) {
            const qsizetype left = plan.toCopy.size() - i;
            result.problem = (QFileInfo::exists(photo.source) ? QStringLiteral("Lecture de la carte impossible (") +
                                                                    QString::fromLocal8Bit(std::strerror(r.error)) + QStringLiteral(") : ")
                                                              : QStringLiteral("La carte a été retirée pendant l’import : ")) +
                             QStringLiteral("%1 photos copiées, %2 restent sur la carte.").arg(result.copied.size()).arg(left);
            break;
        }
        if (progress) progress(i + 1, plan.toCopy.size());
    }
    return result;
}

QStringList CardImport::mountPoints(const QByteArray& mountinfo)
{
    QStringList points;
    for (const QByteArray& line : mountinfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5) continue;
        // Spaces, tabs, newlines and backslashes come as three octal digits.
        const QByteArray& raw = fields[4];
        QByteArray path;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 3 < raw.size()) {
                bool ok = false;
                const int code = raw.mid(i + 1, 3).toInt(&ok, 8);
                if (ok) {
                    path += char(code);
                    i += 3;
                    continue;
                }
            }
            path += raw[i];
        }
        points.append(QString::fromUtf8(path));
    }
    return points;
}

} // namespace tavrin
