#include "base/AppSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace tavrin::AppSupport {

namespace {

QString& overrideDirectory()
{
    static QString directory;
    return directory;
}

QString givenDataDirectory()
{
    if (!overrideDirectory().isEmpty()) return overrideDirectory();
    const QString env = qEnvironmentVariable("TAVRIN_DATA_DIR");
    if (!env.isEmpty()) return QDir(env).absolutePath();
    return {};
}

QString ensured(const QString& path)
{
    QDir().mkpath(path);
    return path;
}

std::optional<QString> existingIn(const QString& dir)
{
    for (const QString& ext : programmeExtensions()) {
        const QString path = dir + QStringLiteral("/programme.") + ext;
        if (QFile::exists(path)) return path;
    }
    return std::nullopt;
}

void removeIn(const QString& dir)
{
    for (const QString& ext : programmeExtensions()) QFile::remove(dir + QStringLiteral("/programme.") + ext);
}

} // namespace

void setDataDirectoryOverride(const QString& directory)
{
    overrideDirectory() = directory.isEmpty() ? QString() : QDir(directory).absolutePath();
}

QString folder()
{
    QString dir = givenDataDirectory();
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/TAVRIN");
    return ensured(dir);
}

QString ordersFolder() { return ensured(folder() + QStringLiteral("/Orders")); }
QString riderFoldersFolder() { return ensured(folder() + QStringLiteral("/RiderFolders")); }
QString fileInFolder(const QString& name) { return folder() + u'/' + name; }

QString defaultsFile()
{
    const QString given = givenDataDirectory();
    if (!given.isEmpty()) return ensured(given) + QStringLiteral("/defaults.ini");
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/TAVRIN"))
        + QStringLiteral("/defaults.ini");
}

const QStringList& programmeExtensions()
{
    static const QStringList list{QStringLiteral("pdf"), QStringLiteral("xlsx"), QStringLiteral("xlsm")};
    return list;
}

std::optional<QString> existingProgrammeFile() { return existingIn(folder()); }
void removeProgrammeFiles() { removeIn(folder()); }
std::optional<QString> existingRiderProgrammeFile() { return existingIn(riderFoldersFolder()); }
void removeRiderProgrammeFiles() { removeIn(riderFoldersFolder()); }

} // namespace tavrin::AppSupport
