// Its own program: the system locale is set before the application object exists, on a machine
// whose locale variables say C.UTF-8 and English (set first thing in main).
#include "TestSupport.h"
#include "ui/FileDialogs.h"
#include "ui/QtTranslations.h"

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <clocale>

using namespace tavrin;

// The file dialog's detail view reads « Dossier » and French dates, while the C library and the
// environment the user set stay as they were for the programs started from the window.
TEST(FrenchSystemLocale, QtsFileDialogReadsFrenchOnAMachineSetToAnotherLanguage)
{
    EXPECT_EQ(QLocale().language(), QLocale::French);
    EXPECT_EQ(qgetenv("LC_ALL"), "C.UTF-8");
    EXPECT_EQ(qgetenv("LANGUAGE"), "en_US:en");
    EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C.UTF-8");

    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Carte SD")));
    test::writeFile(folder.filePath(QStringLiteral("programme.xlsx")), "PK");
    const QDateTime modified = QFileInfo(folder.filePath(QStringLiteral("Carte SD"))).lastModified();

    auto* dialog = new QFileDialog(nullptr, QStringLiteral("Dossier des photos"), folder.path());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setViewMode(QFileDialog::Detail);
    FileDialogs::open(dialog, QStringLiteral("Choisir"), [](const QString&) {});
    auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    QModelIndex row;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
            if (view->model()->index(r, 0, view->rootIndex()).data().toString() == u"Carte SD")
                row = view->model()->index(r, 0, view->rootIndex());
        return row.isValid();
    }));
    const auto cell = [&](int column) { return view->model()->index(row.row(), column, row.parent()).data().toString(); };
    EXPECT_EQ(cell(2), QStringLiteral("Dossier"));
    EXPECT_EQ(cell(3), QLocale(QLocale::French, QLocale::France).toString(modified, QLocale::ShortFormat));
    EXPECT_EQ(view->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Dernière modification"));
    dialog->close();
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "C.UTF-8");
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("LANGUAGE", "en_US:en");
    QtTranslations::useFrenchSystemLocale();
    QApplication app(argc, argv);
    QtTranslations::installFrench();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
