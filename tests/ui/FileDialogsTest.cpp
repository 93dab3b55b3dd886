#include "TestSupport.h"
#include "ui/FileDialogs.h"
#include "ui/QtTranslations.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;

// Qt's file dialog, once Qt's French catalogue is installed, reads French in its own labels, and
// « Regarder dans » above its folders once opened as the screens open it.
TEST(FileDialogsTest, QtDialogsSpeakFrench)
{
    ASSERT_TRUE(QtTranslations::installFrench()) << "qtbase_fr absent (paquet qt6-translations-l10n)";
    EXPECT_TRUE(QtTranslations::installFrench());
    test::TempDataDir data;
    QPointer<QFileDialog> dialog = new QFileDialog(nullptr, QStringLiteral("Importer le programme"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    const auto label = [&](const char* name) {
        const auto* l = dialog->findChild<QLabel*>(QLatin1StringView(name));
        return l ? l->text() : QStringLiteral("(absent)");
    };
    EXPECT_EQ(label("fileNameLabel"), QStringLiteral("&Nom de fichier :"));
    EXPECT_EQ(label("fileTypeLabel"), QStringLiteral("Fichiers de type :"));
    FileDialogs::open(dialog, QStringLiteral("Importer"), [](const QString&) {});
    EXPECT_EQ(label("lookInLabel"), QStringLiteral("Regarder dans :"));
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QStringLiteral("Importer"));
    dialog->close();
}

// Each kind of choice opens where that kind was last chosen, with the last choice selected, and
// falls back on the nearest folder that still exists.
TEST(FileDialogsTest, EachKindOpensWhereItWasLastChosen)
{
    test::TempDataDir data;
    QTemporaryDir disk;
    ASSERT_TRUE(QDir(disk.path()).mkpath(QStringLiteral("Programmes/2026")));
    ASSERT_TRUE(QDir(disk.path()).mkpath(QStringLiteral("Cartes/Samedi")));
    const QString programme = disk.path() + QStringLiteral("/Programmes/2026/cso.pdf");
    QFile(programme).open(QIODevice::WriteOnly);

    const auto show = [](const QString& title, QFileDialog::FileMode mode) {
        auto* dialog = new QFileDialog(nullptr, title);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setFileMode(mode);
        FileDialogs::open(dialog, QStringLiteral("Choisir"), [](const QString&) {});
        return QPointer<QFileDialog>(dialog);
    };
    const auto choose = [](QPointer<QFileDialog> dialog, const QString& path) {
        Q_EMIT dialog->fileSelected(path);
        dialog->close();
    };

    choose(show(QStringLiteral("Importer le programme"), QFileDialog::ExistingFile), programme);
    choose(show(QStringLiteral("Dossier des photos"), QFileDialog::Directory), disk.path() + QStringLiteral("/Cartes/Samedi"));

    QPointer<QFileDialog> again = show(QStringLiteral("Importer le programme"), QFileDialog::ExistingFile);
    EXPECT_EQ(again->directory().absolutePath(), disk.path() + QStringLiteral("/Programmes/2026"));
    EXPECT_EQ(again->selectedFiles().value(0), programme);
    again->close();
    QPointer<QFileDialog> photos = show(QStringLiteral("Dossier des photos"), QFileDialog::Directory);
    EXPECT_EQ(photos->directory().absolutePath(), disk.path() + QStringLiteral("/Cartes"));
    photos->close();
    EXPECT_EQ(FileDialogs::lastChoice(QStringLiteral("Fichier filigrane")), QString());

    // The folder is gone: the dialog opens in what remains of its path. A cancel changes nothing.
    ASSERT_TRUE(QDir(disk.path() + QStringLiteral("/Programmes")).removeRecursively());
    QPointer<QFileDialog> moved = show(QStringLiteral("Importer le programme"), QFileDialog::ExistingFile);
    EXPECT_EQ(moved->directory().absolutePath(), disk.path());
    Q_EMIT moved->fileSelected(QString());
    moved->close();
    EXPECT_EQ(FileDialogs::lastChoice(QStringLiteral("Importer le programme")), programme);
}
