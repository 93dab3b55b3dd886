#include "orders/views/ApplicationChooserDialog.h"
#include "handover/views/HandOverDialog.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

// GIO reads the environment once: the desktop entry is in place before anything asks for it.
struct Desktop {
    QTemporaryDir dir;
    Desktop()
    {
        QDir().mkpath(dir.path() + "/applications");
        QFile f(dir.path() + "/applications/zzretouche.desktop");
        f.open(QIODevice::WriteOnly);
        f.write("[Desktop Entry]\nType=Application\nName=Zz Retouche\nExec=true %F\nMimeType=image/jpeg;\n");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    }
};
Desktop& desktop()
{
    static Desktop d;
    return d;
}
[[maybe_unused]] const bool desktopReady = (desktop(), true);

QNetworkReply::NetworkError fetch(const QUrl& url, QByteArray* body = nullptr)
{
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    EXPECT_TRUE(finished.wait(5000));
    if (body) *body = reply->readAll();
    reply->deleteLater();
    return reply->error();
}

} // namespace

TEST(HandOverDialog, ServesFilesUntilClosed)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("IMG_0001.jpg"), b = dir.filePath("IMG_0002.jpg");
    ASSERT_EQ(QProcess::execute("convert", {"-size", "64x48", "xc:red", a}), 0);
    ASSERT_EQ(QProcess::execute("convert", {"-size", "64x48", "xc:blue", b}), 0);

    bool completed = false;
    HandOverService::Options options;
    options.address = QHostAddress::LocalHost;
    HandOverDialog dialog({a, b}, [&](const QStringList&) { completed = true; }, nullptr, options);
    dialog.show();
    const QUrl url = dialog.service().url();
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(dialog.addressLabel()->text(), url.toString());
    EXPECT_TRUE(dialog.countLabel()->text().contains(QStringLiteral("2 fichiers")));

    QUrl file = url;
    file.setPath('/' + url.path().section('/', 1, 1) + "/f/0/IMG_0001.jpg");
    QByteArray body;
    EXPECT_EQ(fetch(file, &body), QNetworkReply::NoError);
    QFile original(a);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(body, original.readAll());

    dialog.reject();
    EXPECT_EQ(fetch(file), QNetworkReply::ConnectionRefusedError);
    EXPECT_FALSE(completed);
}

TEST(ApplicationChooserDialog, ListsAndFiltersDesktopEntries)
{
    ApplicationChooserDialog dialog;
    const auto visible = [&] {
        for (int i = 0; i < dialog.list()->count(); ++i)
            if (!dialog.list()->item(i)->isHidden() && dialog.list()->item(i)->text() == "Zz Retouche") return true;
        return false;
    };
    EXPECT_TRUE(visible());
    dialog.search()->setText(QStringLiteral("Photoshop"));
    EXPECT_FALSE(visible());
}
