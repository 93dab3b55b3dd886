#include "AppLaunch.h"
#include "KeyTyping.h"
#include "TestSupport.h"
#include "app/AboutDialog.h"
#include "app/CommandBus.h"
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/DataFileNotices.h"
#include "base/TavrinTheme.h"
#include "library/views/MacSidebar.h"
#include "library/views/NamingAlert.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "library/views/TableurView.h"
#include "ui/CapsuleButton.h"
#include "ui/EmptyState.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::Launch;
using tavrin::test::TempDataDir;
using tavrin::test::type;

namespace {

NamingAlert* visibleAlert(QWidget& window, const QString& title)
{
    for (NamingAlert* alert : window.findChildren<NamingAlert*>())
        if (alert->isVisible() && alert->windowTitle() == title) return alert;
    return nullptr;
}

// Answers the alert titled `title` with `text` and "Enregistrer".
void answer(QWidget& window, const QString& title, const QString& text)
{
    NamingAlert* alert = visibleAlert(window, title);
    ASSERT_NE(alert, nullptr) << title.toStdString();
    alert->field()->setText(text);
    QTest::mouseClick(alert->saveButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void triggerMenuAction(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions())
        if (action->text() == text) return action->trigger();
    ADD_FAILURE() << "no action " << text.toStdString();
}

LibrarySnapshot libraryOnDisk(const TempDataDir& data) { return decodeLibrary(test::readFile(data.file("library.json"))); }

QList<std::pair<QString, QString>> numbers(const SpreadsheetRecord& sheet)
{
    QList<std::pair<QString, QString>> result;
    for (const RowRecord& row : sheet.rows) result.push_back({row.photoNumber, row.assignedNumber});
    return result;
}

} // namespace

TEST(WindowFlow, DaysAndSpreadsheetsAreMadeRenamedAndDeletedThroughTheAlerts)
{
    TempDataDir data;
    Launch launch(data.path());
    QStackedWidget* sidebarStack = launch.sidebar().findChild<QStackedWidget*>();
    EXPECT_EQ(qobject_cast<EmptyState*>(sidebarStack->currentWidget())->title(), "Aucun jour");

    // No day yet: saving a spreadsheet title creates a day named after today.
    launch.window.findChild<QAction*>("tavrinNewSpreadsheet")->trigger();
    answer(launch.window, "Nom du tableur", "   ");
    EXPECT_TRUE(launch.store().snapshot().days.isEmpty()) << "an empty title creates nothing";
    launch.window.findChild<QAction*>("tavrinNewSpreadsheet")->trigger();
    answer(launch.window, "Nom du tableur", "  Épreuve 1 ");
    const LibrarySnapshot afterFirst = libraryOnDisk(data);
    ASSERT_EQ(afterFirst.days.size(), 1);
    EXPECT_EQ(afterFirst.days[0].name, TavrinTheme::defaultDayName(QDateTime::currentDateTime()));
    ASSERT_EQ(afterFirst.spreadsheets.size(), 1);
    EXPECT_EQ(afterFirst.spreadsheets[0].title, "Épreuve 1");
    EXPECT_EQ(launch.sidebar().selectedSpreadsheetID(), afterFirst.spreadsheets[0].id);
    EXPECT_EQ(launch.sidebar().selectedDayID(), afterFirst.days[0].id);

    launch.window.findChild<QAction*>("tavrinNewDay")->trigger();
    answer(launch.window, "Nom du jour", "Samedi");
    const DayRecord samedi = launch.store().snapshot().sortedDays().last();
    EXPECT_EQ(samedi.name, "Samedi");
    EXPECT_EQ(launch.sidebar().selectedDayID(), samedi.id);
    EXPECT_FALSE(launch.sidebar().selectedSpreadsheetID());

    // The day's own menu names a spreadsheet into that day, then renames both.
    std::unique_ptr<QMenu> dayMenu(launch.sidebar().contextMenu(samedi.id));
    triggerMenuAction(dayMenu.get(), "Nouveau tableur");
    answer(launch.window, "Nom du tableur", "Grand Prix");
    const SpreadsheetRecord gp = launch.store().snapshot().spreadsheetsIn(samedi.id).first();
    EXPECT_EQ(gp.title, "Grand Prix");
    triggerMenuAction(dayMenu.get(), "Renommer le jour");
    EXPECT_EQ(visibleAlert(launch.window, "Renommer le jour")->field()->text(), "Samedi");
    answer(launch.window, "Renommer le jour", "Samedi 14 juin");
    std::unique_ptr<QMenu> sheetMenu(launch.sidebar().contextMenu(gp.id));
    triggerMenuAction(sheetMenu.get(), "Renommer");
    answer(launch.window, "Renommer le tableur", "Grand Prix 1,35 m");
    const LibrarySnapshot renamed = libraryOnDisk(data);
    EXPECT_EQ(renamed.day(samedi.id)->name, "Samedi 14 juin");
    EXPECT_EQ(renamed.spreadsheet(gp.id)->title, "Grand Prix 1,35 m");

    // The sidebar lists the day with its spreadsheet and count.
    QTreeWidgetItem* dayItem = launch.sidebar().tree()->topLevelItem(1);
    EXPECT_EQ(dayItem->text(0), "Samedi 14 juin");
    EXPECT_EQ(dayItem->child(0)->text(0), "Grand Prix 1,35 m");
    EXPECT_EQ(dayItem->child(0)->data(0, MacSidebar::CountRole).toString(), "0 ligne");

    // Deleting the selected spreadsheet leaves its day selected and the detail empty.
    launch.sidebar().select(samedi.id, gp.id);
    triggerMenuAction(sheetMenu.get(), "Supprimer");
    EXPECT_FALSE(launch.store().snapshot().spreadsheet(gp.id));
    EXPECT_EQ(launch.sidebar().selectedDayID(), samedi.id);
    EXPECT_EQ(launch.tableur().findChild<QStackedWidget*>()->currentWidget(), launch.tableur().emptyDetail());
    EXPECT_EQ(launch.sidebar().tree()->topLevelItem(1)->child(0)->data(0, MacSidebar::KindRole), MacSidebar::EmptyDayKind)
        << "a day without spreadsheets says so";

    const QList<DayRecord> days = launch.store().snapshot().days; // each deletion changes the library
    for (const DayRecord& day : days) {
        std::unique_ptr<QMenu> menu(launch.sidebar().contextMenu(day.id));
        triggerMenuAction(menu.get(), "Supprimer le jour");
    }
    EXPECT_TRUE(libraryOnDisk(data).spreadsheets.isEmpty()) << "a day takes its spreadsheets with it";
    EXPECT_EQ(qobject_cast<EmptyState*>(sidebarStack->currentWidget())->title(), "Aucun jour");
}

TEST(WindowFlow, FastTypingLandsEveryKeystrokeInTheLibraryFile)
{
    TempDataDir data;
    Launch launch(data.path());
    launch.tableur().createSpreadsheet("Épreuve 3");
    ASSERT_TRUE(launch.table().hasFocus()) << "a new spreadsheet is ready for typing";

    QList<std::pair<QString, QString>> expected;
    QString keys;
    for (int i = 1; i <= 40; ++i) {
        const QString photo = QString("%1").arg(i * 13, 4, 10, QChar('0'));
        const QString assigned = QString::number(100 + i * 7);
        expected.push_back({photo, assigned});
        keys += photo + "\t" + assigned + "\n";
    }
    type(launch.window, keys);
    expected.push_back({"", ""});
    const SpreadsheetRecord typed = libraryOnDisk(data).spreadsheets.first();
    EXPECT_EQ(numbers(typed), expected) << "photo, Tab, assigned, Enter fills one row after another";

    // Typing replaces a cell, Escape abandons an edit, Delete clears, Shift-Tab goes back.
    RowsTableView& table = launch.table();
    table.moveTo(2, RowsTableModel::assignedNumberColumn);
    type(launch.window, "9\n");
    table.moveTo(3, RowsTableModel::photoNumberColumn);
    type(launch.window, "7777\x1b");
    table.moveTo(4, RowsTableModel::photoNumberColumn);
    QTest::keyClick(&table, Qt::Key_Delete);
    table.moveTo(5, RowsTableModel::assignedNumberColumn);
    QTest::keyClick(&table, Qt::Key_Backtab);
    type(launch.window, "55\n");
    const SpreadsheetRecord edited = libraryOnDisk(data).spreadsheets.first();
    EXPECT_EQ(edited.rows[2].assignedNumber, "9");
    EXPECT_EQ(edited.rows[3].photoNumber, expected[3].first);
    EXPECT_EQ(edited.rows[4].photoNumber, "");
    EXPECT_EQ(edited.rows[4].assignedNumber, expected[4].second);
    EXPECT_EQ(edited.rows[5].photoNumber, "55");
    EXPECT_EQ(launch.sidebar().tree()->topLevelItem(0)->child(0)->data(0, MacSidebar::CountRole).toString().toStdString(),
              "39 lignes");
}

TEST(WindowFlow, RowActionsNeverDeleteTheTrailingBlankRowOrTheOnlyRow)
{
    TempDataDir data;
    Launch launch(data.path());
    launch.tableur().createSpreadsheet("Épreuve 3");
    RowsTableView& table = launch.table();
    EXPECT_FALSE(table.deleteRowAction()->isEnabled()) << "the only row";

    type(launch.window, "10\t1\n20\t2\n");
    table.moveTo(2, 0);
    EXPECT_FALSE(table.deleteRowAction()->isEnabled()) << "the trailing blank row";
    table.moveTo(1, 0);
    table.insertAboveAction()->trigger();
    EXPECT_EQ(table.currentIndex().row(), 1);
    type(launch.window, "15\n");
    table.moveTo(0, 0);
    table.insertBelowAction()->trigger();
    type(launch.window, "12\n");
    table.addRowAction()->trigger();
    EXPECT_EQ(numbers(libraryOnDisk(data).spreadsheets.first()),
              (QList<std::pair<QString, QString>>{{"10", "1"}, {"12", ""}, {"15", ""}, {"20", "2"}, {"", ""}, {"", ""}}));

    table.moveTo(2, 0);
    ASSERT_TRUE(table.deleteRowAction()->isEnabled());
    table.deleteRowAction()->trigger();
    EXPECT_EQ(libraryOnDisk(data).spreadsheets.first().rows.size(), 5);
    EXPECT_EQ(table.rowsModel()->rowAt(2).photoNumber, "20");
}

TEST(WindowFlow, BlocksOfCellsAreCopiedCutAndPastedLikeInOtherSpreadsheets)
{
    TempDataDir data;
    Launch launch(data.path());
    launch.tableur().createSpreadsheet("Épreuve 3");
    RowsTableView& table = launch.table();
    type(launch.window, "10\t1\n20\t2\n");

    table.moveTo(0, RowsTableModel::photoNumberColumn);
    QTest::keyClick(&table, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&table, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keySequence(&table, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), "10\t1\n20\t2");

    // A column copied from another program: Windows line ends, spaces, a final line feed.
    QApplication::clipboard()->setText("0301 \t 7\r\n0302\t8\r\n0303\t9\r\n");
    table.moveTo(2, RowsTableModel::photoNumberColumn);
    QTest::keySequence(&table, QKeySequence::Paste);
    EXPECT_EQ(numbers(libraryOnDisk(data).spreadsheets.first()),
              (QList<std::pair<QString, QString>>{{"10", "1"}, {"20", "2"}, {"0301", "7"}, {"0302", "8"}, {"0303", "9"}, {"", ""}}));
    EXPECT_EQ(table.selectionModel()->selectedIndexes().size(), 6) << "the pasted block stays selected";

    table.moveTo(1, RowsTableModel::assignedNumberColumn);
    QTest::keySequence(&table, QKeySequence::Cut);
    EXPECT_EQ(QApplication::clipboard()->text(), "2");
    EXPECT_EQ(libraryOnDisk(data).spreadsheets.first().rows[1].assignedNumber, "");
    EXPECT_EQ(launch.sidebar().tree()->topLevelItem(0)->child(0)->data(0, MacSidebar::CountRole).toString().toStdString(),
              "5 lignes");
}

TEST(WindowFlow, SelectionSurvivesARestartAndFallsBackToTheDay)
{
    TempDataDir data;
    QUuid dayID, sheetID;
    {
        Launch launch(data.path());
        dayID = launch.store().addDay("Samedi").id;
        launch.store().addSpreadsheet(dayID, "A");
        sheetID = launch.store().addSpreadsheet(dayID, "B").id;
        launch.sidebar().select(dayID, sheetID);
    }
    {
        Launch launch(data.path());
        EXPECT_EQ(launch.sidebar().selectedSpreadsheetID(), sheetID);
        EXPECT_EQ(launch.tableur().spreadsheetPane()->spreadsheetID(), sheetID);
    }
    {
        // The spreadsheet goes away behind the window's back (tavrin-cli, another store).
        LibraryStore store;
        store.deleteSpreadsheet(sheetID);
    }
    Launch launch(data.path());
    EXPECT_EQ(launch.sidebar().selectedDayID(), dayID);
    EXPECT_FALSE(launch.sidebar().selectedSpreadsheetID());
}

TEST(WindowFlow, ImportedFilesAreAnnouncedAndSelected)
{
    TempDataDir data;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const DayRecord day{QUuid::createUuid(), "Dimanche", now, 0};
    const SpreadsheetRecord sheet{QUuid::createUuid(), day.id, "Finale", now, now, true, {}};
    test::writeFile(data.file("in/finale.TAVRIN"), encodeTransferPackage({1, TavrinTransferPackage::Kind::spreadsheet, day, {sheet}}));
    test::writeFile(data.file("in/abime.tavrin"), "{}");

    // Opened before the window exists: imported in order once it shows.
    TavrinMacAppDelegate::setOpenHandler({});
    TavrinMacAppDelegate::open({data.file("in/finale.TAVRIN"), data.file("in/notes.txt"), data.file("in/abime.tavrin")});
    Launch launch(data.path());
    auto* alert = launch.window.findChild<QMessageBox*>("importAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->text(), "Tableur « Finale » importé\nImpossible d’importer ce fichier TAVRIN.");
    EXPECT_EQ(launch.sidebar().selectedSpreadsheetID(), sheet.id);
    EXPECT_EQ(launch.table().rowsModel()->rowCount(), 1) << "an empty imported spreadsheet still offers a row to type in";
    TavrinMacAppDelegate::setOpenHandler({});
}

TEST(WindowFlow, AppearanceMenuSwitchesTheWholeWindow)
{
    TempDataDir data;
    Launch launch(data.path());
    auto* appearance = launch.window.findChild<CapsuleMenu*>("appearanceMenu");
    ASSERT_NE(appearance, nullptr);
    triggerMenuAction(appearance->menu(), "Sombre");
    EXPECT_EQ(launch.store().appearance(), AppearancePreference::dark);
    EXPECT_TRUE(Theme::isDark());
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 128);
    triggerMenuAction(appearance->menu(), "Clair");
    EXPECT_FALSE(Theme::isDark());
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 128);

    // The menu bar offers the same choice, and each menu shows what the other chose.
    auto* submenu = launch.window.findChild<QMenu*>("appearanceSubmenu");
    ASSERT_NE(submenu, nullptr);
    EXPECT_EQ(submenu->title(), "Apparence");
    QStringList titles;
    for (QAction* action : submenu->actions()) titles.push_back(action->text());
    EXPECT_EQ(titles, (QStringList{"Système", "Clair", "Sombre"}));
    triggerMenuAction(submenu, "Sombre");
    EXPECT_TRUE(Theme::isDark());
    for (QAction* action : appearance->menu()->actions()) EXPECT_EQ(action->isChecked(), action->text() == "Sombre");
}

TEST(WindowFlow, ShortcutsSwitchSectionsAndDroppedTransferFilesAreImported)
{
    TempDataDir data;
    Launch launch(data.path());
    QTest::keyClick(launch.window.windowHandle(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(launch.window.section(), MacWorkspaceSection::paniers);
    QTest::keyClick(launch.window.windowHandle(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(launch.window.section(), MacWorkspaceSection::commandes);
    QTest::keyClick(launch.window.windowHandle(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(launch.window.section(), MacWorkspaceSection::tableur) << "a new day is made in Tableur";
    answer(launch.window, "Nom du jour", "Samedi");

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const DayRecord day{QUuid::createUuid(), "Dimanche", now, 0};
    test::writeFile(data.file("in/jour.tavrin"), encodeTransferPackage({1, TavrinTransferPackage::Kind::day, day, {}}));
    test::writeFile(data.file("in/jour.json"), encodeTransferPackage({1, TavrinTransferPackage::Kind::day, day, {}}));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(data.file("in/jour.json")), QUrl::fromLocalFile(data.file("in/jour.tavrin"))});
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&launch.window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&launch.window, &drop);
    EXPECT_EQ(launch.store().importGeneration(), 1) << "only the transfer file";
    EXPECT_EQ(launch.sidebar().selectedDayID(), day.id);
    EXPECT_EQ(launch.window.findChild<QMessageBox*>("importAlert")->text(), "Jour « Dimanche » importé");
}

TEST(WindowFlow, ADataFileSetAsideIsToldOnceInABannerAndTheWindowFollowsOtherWriters)
{
    TempDataDir data;
    DataFileNotices::instance().takePending();
    test::writeFile(data.file("library.json"), "{\"days\": [");
    Launch launch(data.path());
    QWidget* banner = launch.window.findChild<QWidget*>("dataFileNotice");
    ASSERT_NE(banner, nullptr);
    EXPECT_FALSE(banner->isVisible()) << "nothing is moved before the first save";

    launch.store().addDay("Samedi");
    const QStringList aside = QDir(data.path()).entryList({"library.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    ASSERT_TRUE(banner->isVisible());
    const QString text = banner->findChild<QLabel*>()->text();
    EXPECT_TRUE(text.contains("«\u00a0library.json\u00a0» était illisible")) << text.toStdString();
    EXPECT_TRUE(text.contains(aside.first()) && text.contains(data.path())) << text.toStdString();
    launch.store().addDay("Dimanche");
    EXPECT_EQ(banner->findChild<QLabel*>()->text(), text) << "told once";
    QTest::mouseClick(banner->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_FALSE(banner->isVisible());

    // Another program adds a day: the sidebar shows it without any action here.
    LibrarySnapshot other = libraryOnDisk(data);
    other.days.push_back({QUuid::createUuid(), "Lundi", QDateTime::currentDateTimeUtc(), 5});
    test::writeFile(data.file("library.json.new"), encodeLibrary(other));
    QFile::remove(data.file("library.json"));
    QFile::rename(data.file("library.json.new"), data.file("library.json"));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (int i = 0; i < launch.sidebar().tree()->topLevelItemCount(); ++i)
            if (launch.sidebar().tree()->topLevelItem(i)->text(0) == "Lundi") return true;
        return false;
    }, 20000));
}

TEST(WindowFlow, EveryMenuShortcutPostsItsCommandWhileTheTableHasTheKeyboard)
{
    TempDataDir data;
    Launch launch(data.path());
    launch.tableur().createSpreadsheet("Épreuve 3");
    ASSERT_TRUE(launch.table().hasFocus());
    // The imports open file and browser windows; only where they are routed matters here.
    QObject::disconnect(&launch.window, &MacRootView::importProgrammeRequested, nullptr, nullptr);
    QObject::disconnect(&launch.window, &MacRootView::importProgrammeWebRequested, nullptr, nullptr);
    QSignalSpy fileImports(&launch.window, &MacRootView::importProgrammeRequested);
    QSignalSpy webImports(&launch.window, &MacRootView::importProgrammeWebRequested);

    for (const MenuCommand& command : CommandBus::menuCommands()) {
        SCOPED_TRACE(command.name.toStdString());
        ASSERT_EQ(command.shortcut.count(), 1);
        const QByteArray signal = "2" + command.name.toLatin1() + "()";
        QSignalSpy posted(&launch.app.commands, signal.constData());
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, command.shortcut[0].key(), command.shortcut[0].keyboardModifiers());
        EXPECT_EQ(posted.count(), 1);
        // The naming alerts take the keyboard; give it back to the table for the next shortcut.
        for (const char* title : {"Nom du jour", "Nom du tableur"})
            if (NamingAlert* alert = visibleAlert(launch.window, title)) alert->reject();
        launch.table().setFocus();
    }
    EXPECT_EQ(launch.window.section(), MacWorkspaceSection::commandes) << "the last section command was Ctrl+3";
    ASSERT_EQ(fileImports.count(), 1);
    ASSERT_EQ(webImports.count(), 1);
    EXPECT_EQ(fileImports[0][0].value<MacWorkspaceSection>(), MacWorkspaceSection::commandes);
    EXPECT_EQ(launch.store().snapshot().spreadsheets.size(), 1) << "cancelled alerts create nothing";
}

TEST(WindowFlow, AboutTellsTheVersionTheProgramAnswers)
{
    TempDataDir data;
    Launch launch(data.path());
    EXPECT_EQ(launch.window.about(), nullptr) << "made when first asked for";
    QAction* about = launch.window.findChild<QAction*>("tavrinShowAbout");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), "À propos de Tavrin");
    about->trigger();
    AboutDialog* dialog = launch.window.about();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "À propos de Tavrin");

    // The version shown is the one `tavrin --version` prints.
    QProcess program;
    program.start(test::binDir() + "/tavrin", {"--version"});
    ASSERT_TRUE(program.waitForFinished(10000));
    const QString answered = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    ASSERT_TRUE(answered.startsWith("Tavrin ")) << answered.toStdString();
    const QString version = answered.mid(7);
    EXPECT_EQ(dialog->findChild<QLabel*>("aboutVersion")->text(), "Version " + version);
    EXPECT_FALSE(dialog->findChild<QLabel*>("aboutDescription")->text().isEmpty());

    QTest::mouseClick(dialog->findChild<CapsuleButton*>("aboutClose"), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    launch.app.commands.post("tavrinShowAbout");
    EXPECT_EQ(launch.window.about(), dialog) << "shown again, not made twice";
    EXPECT_TRUE(dialog->isVisible());
}
