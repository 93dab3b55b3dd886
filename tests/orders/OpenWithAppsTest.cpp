#include "orders/OpenWithApps.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

// GIO reads the environment once: the desktop entries of these tests are in place before any
// test runs, with the system's MIME database linked in and none of its applications.
struct Desktop {
    QTemporaryDir dir;
    QString log;
    QString defaultLog;
    QMap<QString, QStringList> byType;

    Desktop()
    {
        const QString root = dir.path();
        QDir().mkpath(root + "/home/applications");
        QDir().mkpath(root + "/dirs");
        QDir().mkpath(root + "/config");
        QFile::link("/usr/share/mime", root + "/dirs/mime");
        log = root + "/opened.log";
        defaultLog = root + "/default.log";
        writeScript(root + "/record.sh", log);
        writeScript(root + "/record-default.sh", defaultLog);
        entry("adobe-photoshop.desktop", "Adobe Photoshop", "image/jpeg;video/quicktime;");
        entry("org.example.Preview.desktop", "Preview", "image/jpeg;");
        entry("gimp.desktop", "GNU Image Manipulation Program", "image/jpeg;video/quicktime;");
        entry("org.darktable.darktable.desktop", "darktable", "image/jpeg;");
        entry("org.kde.krita.desktop", "Krita", "image/jpeg;");
        entry("texteditor.desktop", "Éditeur de texte", "image/jpeg;video/quicktime;text/plain;");
        entry("recorder.desktop", "Zz Enregistreur", "image/jpeg;video/quicktime;", root + "/record.sh");
        entry("defaultrec.desktop", "Afficheur", "image/jpeg;", root + "/record-default.sh");
        // What update-desktop-database writes on a real system after installing applications.
        QFile cache(root + "/home/applications/mimeinfo.cache");
        cache.open(QIODevice::WriteOnly);
        cache.write("[MIME Cache]\n");
        for (auto it = byType.cbegin(); it != byType.cend(); ++it) cache.write((it.key() + '=' + it.value().join(';') + ";\n").toUtf8());
        cache.close();
        QFile mimeapps(root + "/config/mimeapps.list");
        mimeapps.open(QIODevice::WriteOnly);
        mimeapps.write("[Default Applications]\nimage/jpeg=defaultrec.desktop\n");
        mimeapps.close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/home"));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(root + "/dirs"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + "/config"));
    }

    void writeScript(const QString& path, const QString& logPath)
    {
        QFile script(path);
        script.open(QIODevice::WriteOnly);
        script.write(("#!/bin/sh\nfor f in \"$@\"; do echo \"$f\" >> '" + logPath + "'; done\n").toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void entry(const QString& id, const QString& name, const QString& types, const QString& exec = "/bin/true")
    {
        QFile file(dir.path() + "/home/applications/" + id);
        file.open(QIODevice::WriteOnly);
        file.write(("[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + " %F\nMimeType=" + types + "\n").toUtf8());
        for (const QString& type : types.split(';', Qt::SkipEmptyParts)) byType[type].append(id);
    }

    QString file(const QString& name) const
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        return path;
    }
};

Desktop& desktop()
{
    static Desktop* instance = new Desktop; // set up before main, so before GIO's first use
    return *instance;
}
const bool desktopReady = (desktop(), true);

QStringList names(const QList<OpenWithApp>& apps)
{
    QStringList out;
    for (const OpenWithApp& app : apps) out.append(app.name);
    return out;
}

QString readLog(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

TEST(OpenWithApps, typeKeysFoldAliasesAndRememberedChoicesAreShared)
{
    EXPECT_EQ(OpenWithApps::typeKey("/a/IMG.JPEG"), "jpg");
    EXPECT_EQ(OpenWithApps::typeKey("/a/b.TIFF"), "tif");
    EXPECT_EQ(OpenWithApps::typeKey("/a/b.heif"), "heic");
    EXPECT_EQ(OpenWithApps::typeKey("/a/b.m4v"), "mp4");
    EXPECT_EQ(OpenWithApps::typeKey("/a/b.mpeg"), "mpg");
    EXPECT_EQ(OpenWithApps::typeKey("/a/README"), "");
    EXPECT_EQ(OpenWithApps::selectionKey({"/a/B.MOV", "/a/c.jpg"}), "jpg|mov");
    EXPECT_EQ(OpenWithApps::selectionKey({"/a/c.jpg", "/a/B.MOV"}), "jpg|mov");

    QMap<QString, QString> remembered;
    EXPECT_TRUE(OpenWithApps::rememberOpenWith(remembered, "/opt/apps/../apps/x.desktop", {"/p/IMG.JPEG", "/p/README"}));
    EXPECT_EQ(remembered, (QMap<QString, QString>{{"jpg", "/opt/apps/x.desktop"}}));
    EXPECT_FALSE(OpenWithApps::rememberOpenWith(remembered, "/opt/apps/x.desktop", {"/p/img.jpg"}));
    EXPECT_FALSE(OpenWithApps::rememberOpenWith(remembered, "", {"/p/a.png"}));
}

TEST(OpenWithApps, photoEditorsComeFirstAndMixedSelectionsIntersect)
{
    const QString jpg = desktop().file("one.jpg");
    const QString mov = desktop().file("two.mov");
    const QList<OpenWithApp> photos = OpenWithApps::apps({jpg});
    EXPECT_EQ(names(photos), (QStringList{"Adobe Photoshop", "Preview", "GNU Image Manipulation Program", "darktable", "Krita",
                                          "Afficheur", "Éditeur de texte", "Zz Enregistreur"}));
    ASSERT_FALSE(photos.isEmpty());
    EXPECT_EQ(photos[2].id, "gimp.desktop");
    EXPECT_TRUE(photos[2].path.endsWith("/home/applications/gimp.desktop"));

    const QStringList both{"Adobe Photoshop", "GNU Image Manipulation Program", "Éditeur de texte", "Zz Enregistreur"};
    EXPECT_EQ(names(OpenWithApps::apps({mov, jpg})), both);
    EXPECT_EQ(names(OpenWithApps::apps({jpg, mov})), both);

    // Every installed application, for the chooser.
    EXPECT_EQ(OpenWithApps::allApps().size(), 8);
}

TEST(OpenWithApps, launchesTheChosenRememberedOrDefaultApplication)
{
    const QString first = desktop().file("first.jpg");
    const QString second = desktop().file("second.JPEG");
    ASSERT_TRUE(OpenWithApps::open({first}, "recorder.desktop"));
    QTRY_VERIFY_WITH_TIMEOUT(readLog(desktop().log).contains(first), 10000);
    EXPECT_FALSE(OpenWithApps::open({first}, "absent.desktop"));

    // A remembered application that was removed falls back to the default one.
    const QString recorder = desktop().dir.path() + "/home/applications/recorder.desktop";
    OpenWithApps::openPreferred({{"jpg", desktop().dir.path() + "/home/applications/removed.desktop"}}, {second});
    QTRY_VERIFY_WITH_TIMEOUT(readLog(desktop().defaultLog).contains(second), 10000);
    OpenWithApps::openPreferred({{"jpg", recorder}}, {second});
    QTRY_VERIFY_WITH_TIMEOUT(readLog(desktop().log).contains(second), 10000);
}
