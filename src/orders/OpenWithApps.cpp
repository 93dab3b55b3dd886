#include "orders/OpenWithApps.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace tavrin::OpenWithApps {

namespace {

QString fromUtf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

// Content type from the name, sniffing the first bytes only when the name is not enough.
QByteArray contentType(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    gboolean uncertain = false;
    gchar* type = g_content_type_guess(name.constData(), nullptr, 0, &uncertain);
    if (uncertain) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray head = file.read(4096);
            g_free(type);
            type = g_content_type_guess(name.constData(), reinterpret_cast<const guchar*>(head.constData()),
                                        gsize(head.size()), &uncertain);
        }
    }
    QByteArray result(type ? type : "");
    g_free(type);
    return result;
}

QString iconName(GAppInfo* info)
{
    GIcon* icon = g_app_info_get_icon(info);
    if (!icon) return {};
    if (G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        return names && names[0] ? fromUtf8(names[0]) : QString();
    }
    if (G_IS_FILE_ICON(icon)) {
        gchar* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        const QString result = fromUtf8(path);
        g_free(path);
        return result;
    }
    return {};
}

OpenWithApp toApp(GAppInfo* info)
{
    OpenWithApp app;
    app.id = fromUtf8(g_app_info_get_id(info));
    app.name = fromUtf8(g_app_info_get_display_name(info));
    if (app.name.endsWith(QLatin1String(".app"), Qt::CaseInsensitive)) app.name.chop(4);
    if (G_IS_DESKTOP_APP_INFO(info)) app.path = QDir::cleanPath(fromUtf8(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info))));
    app.icon = iconName(info);
    return app;
}

// Takes ownership of the list and its entries.
QList<OpenWithApp> toApps(GList* list, bool shownOnly)
{
    QList<OpenWithApp> apps;
    QSet<QString> seen;
    for (GList* l = list; l; l = l->next) {
        auto* info = G_APP_INFO(l->data);
        if (!shownOnly || g_app_info_should_show(info)) {
            OpenWithApp app = toApp(info);
            if (!app.id.isEmpty() && !seen.contains(app.id)) {
                seen.insert(app.id);
                apps.append(std::move(app));
            }
        }
    }
    g_list_free_full(list, g_object_unref);
    return apps;
}

GAppInfo* lookUp(const QString& idOrPath)
{
    if (idOrPath.isEmpty()) return nullptr;
    if (idOrPath.startsWith(u'/'))
        return G_APP_INFO(g_desktop_app_info_new_from_filename(QFile::encodeName(idOrPath).constData()));
    return G_APP_INFO(g_desktop_app_info_new(idOrPath.toUtf8().constData()));
}

GList* uriList(const QStringList& paths)
{
    GList* uris = nullptr;
    for (const QString& path : paths) {
        GFile* file = g_file_new_for_path(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData());
        uris = g_list_append(uris, g_file_get_uri(file));
        g_object_unref(file);
    }
    return uris;
}

// The photo editors of Linux desktops, after the table of names: matched by the last part of the
// desktop-entry id so that distribution, Flatpak and versioned entries all count.
const char* const linuxEditors[] = {"gimp", "darktable", "rawtherapee", "krita", "digikam", "gthumb", "shotwell"};

} // namespace

QString typeKey(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("jpeg")) return QStringLiteral("jpg");
    if (ext == QLatin1String("tiff")) return QStringLiteral("tif");
    if (ext == QLatin1String("heif")) return QStringLiteral("heic");
    if (ext == QLatin1String("m4v") || ext == QLatin1String("m4p")) return QStringLiteral("mp4");
    if (ext == QLatin1String("mpeg")) return QStringLiteral("mpg");
    return ext;
}

QString selectionKey(const QStringList& paths)
{
    QStringList exts;
    exts.reserve(paths.size());
    for (const QString& path : paths) exts.append(QFileInfo(path).suffix().toLower());
    std::sort(exts.begin(), exts.end());
    return exts.join(u'|');
}

int preferredIndex(const OpenWithApp& app)
{
    static const char* const names[] = {"Adobe Photoshop", "Photoshop", "Adobe Lightroom", "Lightroom", "Aperçu",
                                        "Preview", "Photos", "Pixelmator", "Affinity Photo"};
    int rank = 0;
    for (const char* name : names) {
        if (app.name.contains(QString::fromUtf8(name), Qt::CaseInsensitive)) return rank;
        ++rank;
    }
    QString id = app.id.toLower();
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    const QString last = id.section(u'.', -1);
    for (const char* editor : linuxEditors) {
        const QString base = QString::fromLatin1(editor);
        if (last == base || last.startsWith(base + u'-')) return rank;
        ++rank;
    }
    return rank;
}

void sort(QList<OpenWithApp>& apps)
{
    QCollator collator{QLocale(QLocale::French, QLocale::France)};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&](const OpenWithApp& a, const OpenWithApp& b) {
        const int ra = preferredIndex(a), rb = preferredIndex(b);
        if (ra != rb) return ra < rb;
        return collator.compare(a.name, b.name) < 0;
    });
}

QList<OpenWithApp> apps(const QStringList& paths)
{
    if (paths.isEmpty()) return {};
    static QHash<QString, QList<OpenWithApp>> cache;
    const QString key = selectionKey(paths);
    if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;

    QList<OpenWithApp> common;
    bool first = true;
    for (const QString& path : paths) {
        const QByteArray type = contentType(path);
        const QList<OpenWithApp> able = type.isEmpty() ? QList<OpenWithApp>{}
                                                       : toApps(g_app_info_get_all_for_type(type.constData()), false);
        if (first) {
            common = able;
            first = false;
        } else {
            QSet<QString> ids;
            for (const OpenWithApp& app : able) ids.insert(app.id);
            common.removeIf([&](const OpenWithApp& app) { return !ids.contains(app.id); });
        }
        if (common.isEmpty()) break;
    }
    sort(common);
    cache.insert(key, common);
    return common;
}

QList<OpenWithApp> allApps()
{
    QList<OpenWithApp> apps = toApps(g_app_info_get_all(), true);
    QCollator collator{QLocale(QLocale::French, QLocale::France)};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(),
                     [&](const OpenWithApp& a, const OpenWithApp& b) { return collator.compare(a.name, b.name) < 0; });
    return apps;
}

std::optional<OpenWithApp> app(const QString& idOrPath)
{
    GAppInfo* info = lookUp(idOrPath);
    if (!info) return std::nullopt;
    OpenWithApp result = toApp(info);
    g_object_unref(info);
    return result;
}

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

bool open(const QStringList& paths, const QString& appIdOrPath)
{
    if (paths.isEmpty()) return true;
    if (hooks().open) return hooks().open(appIdOrPath, paths);
    GAppInfo* info = lookUp(appIdOrPath);
    if (!info) return false;
    GList* uris = uriList(paths);
    GAppLaunchContext* context = g_app_launch_context_new();
    const bool launched = g_app_info_launch_uris(info, uris, context, nullptr);
    g_object_unref(context);
    g_list_free_full(uris, g_free);
    g_object_unref(info);
    return launched;
}

void openInDefaultApp(const QStringList& paths)
{
    if (paths.isEmpty()) return;
    if (hooks().openInDefaultApp) return hooks().openInDefaultApp(paths);
    GList* uris = uriList(paths);
    for (GList* l = uris; l; l = l->next) g_app_info_launch_default_for_uri(static_cast<const char*>(l->data), nullptr, nullptr);
    g_list_free_full(uris, g_free);
}

bool rememberOpenWith(QMap<QString, QString>& openWithApps, const QString& appPath, const QStringList& paths)
{
    const QString standardized = appPath.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(appPath).absoluteFilePath());
    if (standardized.isEmpty()) return false;
    bool changed = false;
    for (const QString& path : paths) {
        const QString key = typeKey(path);
        if (key.isEmpty() || openWithApps.value(key) == standardized) continue;
        openWithApps.insert(key, standardized);
        changed = true;
    }
    return changed;
}

void openPreferred(const QMap<QString, QString>& openWithApps, const QStringList& paths)
{
    if (paths.isEmpty()) return;
    QMap<QString, QStringList> groups; // application path → files, in the selection's order
    QStringList byDefault;
    for (const QString& path : paths) {
        const QString appPath = openWithApps.value(typeKey(path));
        if (!appPath.isEmpty() && QFileInfo(appPath).isFile() && app(appPath)) groups[appPath].append(path);
        else byDefault.append(path);
    }
    for (auto it = groups.cbegin(); it != groups.cend(); ++it)
        if (!open(it.value(), it.key())) byDefault.append(it.value());
    openInDefaultApp(byDefault);
}

} // namespace tavrin::OpenWithApps
