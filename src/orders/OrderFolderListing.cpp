// Listing an orders root: its order folders and their photos and videos, in the file browser's
// order, without the folders that file browsers show as documents.
#include "orders/OrdersStore.h"

#include "base/Error.h"
#include "organizer/MediaFile.h"
#include "numbers/PathText.h"
#include "organizer/PhotoFile.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace tavrin {

namespace {

const QString& topLevelName()
{
    static const QString name = QStringLiteral("Fichiers");
    return name;
}

// Folders that file browsers show as one document rather than a folder to open.
bool isPackage(const QFileInfo& info)
{
    static const QSet<QString> packageExtensions{
        QStringLiteral("app"),          QStringLiteral("bundle"),   QStringLiteral("framework"),
        QStringLiteral("photoslibrary"), QStringLiteral("fcpbundle"), QStringLiteral("lrdata"),
        QStringLiteral("rtfd"),          QStringLiteral("pkg"),      QStringLiteral("plugin")};
    return packageExtensions.contains(PathText::pathExtension(info.fileName()).toString().toLower());
}

QFileInfoList listEntries(const QString& folder, QDir::Filters filters)
{
    const QFileInfo info(folder);
    if (!info.exists())
        throw Error(QStringLiteral("Le dossier « ") + info.fileName() + QStringLiteral(" » est introuvable."));
    if (!info.isDir())
        throw Error(QStringLiteral("« ") + info.fileName() + QStringLiteral(" » n’est pas un dossier."));
    if (!info.isReadable())
        throw Error(QStringLiteral("Impossible de lire le dossier « ") + info.fileName() + QStringLiteral(" »."));
    return QDir(folder).entryInfoList(filters | QDir::NoDotAndDotDot, QDir::NoSort);
}

const QCollator& fileBrowserCollator()
{
    static thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::French, QLocale::France));
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

template <typename T, typename Name>
void sortByName(QList<T>& items, Name name)
{
    // Sort keys make each comparison a byte compare: an order of thousands of files stays quick.
    const QCollator& collator = fileBrowserCollator();
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) keys.emplace_back(collator.sortKey(name(items[i])), i);
    // Names equal but for case (IMG.JPG, img.jpg) keep one order whatever the directory's order.
    std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        const int byCollator = a.first.compare(b.first);
        if (byCollator != 0) return byCollator < 0;
        return name(items[a.second]) < name(items[b.second]);
    });
    QList<T> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}

} // namespace

QString OrdersStore::topLevelSectionName() { return topLevelName(); }

int OrdersStore::compareNames(const QString& a, const QString& b) { return fileBrowserCollator().compare(a, b); }

QList<OrderFolder> OrdersStore::directories(const QString& folder)
{
    QList<OrderFolder> folders;
    for (const QFileInfo& entry : listEntries(folder, QDir::Dirs)) {
        if (isPackage(entry)) continue;
        folders.push_back({entry.fileName(), entry.absoluteFilePath()});
    }
    sortByName(folders, [](const OrderFolder& f) { return f.name; });
    return folders;
}

QList<OrderMedia> OrdersStore::media(const QString& folder)
{
    QList<OrderMedia> files;
    const QSet<QString>& photos = PhotoFile::extensions();
    const QSet<QString>& videos = MediaFile::videoExtensions();
    for (const QFileInfo& entry : listEntries(folder, QDir::Files)) {
        const QString name = entry.fileName();
        const QString extension = PathText::pathExtension(name).toString().toLower();
        const bool video = videos.contains(extension);
        if (!video && !photos.contains(extension)) continue;
        files.push_back({entry.absoluteFilePath(), video});
    }
    // A RAW beside its JPEG is one photo, shown and sold as the JPEG: the gallery and the showcase
    // list the JPEG only, the RAW stays in the folder.
    QStringList paths;
    for (const OrderMedia& m : files) paths.append(m.url);
    const QStringList shown = PhotoFile::withoutPairedRaws(paths);
    if (shown.size() != paths.size()) {
        const QSet<QString> kept(shown.begin(), shown.end());
        files.removeIf([&kept](const OrderMedia& m) { return !kept.contains(m.url); });
    }
    sortByName(files, [](const OrderMedia& m) { return PathText::lastPathComponent(m.url).toString(); });
    return files;
}

QList<OrderSection> OrdersStore::sectionsOf(const QString& orderFolder)
{
    auto mediaOrEmpty = [](const QString& path) {
        try {
            return media(path);
        } catch (const Error&) {
            return QList<OrderMedia>{};
        }
    };
    QList<OrderSection> sections;
    QList<OrderFolder> subfolders;
    try {
        subfolders = directories(orderFolder);
    } catch (const Error&) {
    }
    for (const OrderFolder& sub : subfolders) sections.push_back({sub.name, sub.url, mediaOrEmpty(sub.url)});
    const QList<OrderMedia> top = mediaOrEmpty(orderFolder);
    if (!top.isEmpty()) sections.prepend({topLevelSectionName(), orderFolder, top});
    return sections;
}

bool NewOrder::isNew(const QString& orderFolder) { return QFileInfo::exists(orderFolder + u'/' + markerName()); }

void NewOrder::markOpened(const QString& orderFolder) { QFile::remove(orderFolder + u'/' + markerName()); }

} // namespace tavrin
