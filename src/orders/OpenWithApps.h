#pragma once

// The applications able to open a selection of files, photo editors first, through the
// freedesktop associations (GIO) that the user's file manager also uses; and the per-type memory
// of the application the user chose.

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tavrin {

struct OpenWithApp {
    QString id;   // desktop-entry id, "org.gimp.GIMP.desktop"
    QString name; // display name
    QString path; // the desktop file itself: what is remembered per type
    QString icon; // icon-theme name or icon file; presentation only

    bool operator==(const OpenWithApp& other) const { return id == other.id && name == other.name; }
};
inline size_t qHash(const OpenWithApp& app, size_t seed = 0) { return qHashMulti(seed, app.id, app.name); }

namespace OpenWithApps {

// The lower-cased extension with its aliases (jpeg → jpg, tiff → tif, heif → heic, m4v/m4p → mp4,
// mpeg → mpg); empty without an extension.
QString typeKey(const QString& path);
// Every file's lower-cased extension, sorted, joined with "|": the key of the process-wide cache.
QString selectionKey(const QStringList& paths);

// Applications able to open every file of the selection, in menu order. Cached for the process.
QList<OpenWithApp> apps(const QStringList& paths);
// Every installed application shown in menus, by name (the "other application" chooser).
QList<OpenWithApp> allApps();
// The application of a desktop-entry id or of a desktop file path; none when it is not installed.
std::optional<OpenWithApp> app(const QString& idOrPath);

// Rank in the menu: the known photo editors first, 16 for anything else.
int preferredIndex(const OpenWithApp& app);
// The menu order: rank, then name as the file manager sorts.
void sort(QList<OpenWithApp>& apps);

// Opens the files with that application without waiting; false when it cannot be launched.
bool open(const QStringList& paths, const QString& appIdOrPath);
// Opens each file with its default application.
void openInDefaultApp(const QStringList& paths);

// Sets `openWithApps[typeKey]` to the application's desktop file for every file with a type key;
// true when the map changed (the caller then writes its file).
bool rememberOpenWith(QMap<QString, QString>& openWithApps, const QString& appPath, const QStringList& paths);
// Opens each file with its remembered application when that still exists, otherwise with the
// default application (a double click in the gallery).
void openPreferred(const QMap<QString, QString>& openWithApps, const QStringList& paths);

// When set, launches go here instead of GIO (screen tests).
struct Hooks {
    std::function<bool(const QString& appId, const QStringList& paths)> open;
    std::function<void(const QStringList& paths)> openInDefaultApp;
};
Hooks& hooks();

} // namespace OpenWithApps
} // namespace tavrin
