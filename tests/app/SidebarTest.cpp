#include "TestSupport.h"
#include "library/LibraryStore.h"
#include "library/views/MacSidebar.h"
#include "library/views/NamingAlert.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "library/views/TableurView.h"
#include "ui/CapsuleButton.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

QStringList listed(const MacSidebar& sidebar)
{
    QStringList lines;
    QTreeWidget* tree = sidebar.tree();
    for (int d = 0; d < tree->topLevelItemCount(); ++d) {
        QTreeWidgetItem* day = tree->topLevelItem(d);
        lines.push_back(day->text(0));
        for (int s = 0; s < day->childCount(); ++s) {
            QTreeWidgetItem* item = day->child(s);
            if (item->data(0, MacSidebar::KindRole) == MacSidebar::EmptyDayKind) lines.push_back("  (Aucun tableur)");
            else lines.push_back("  " + item->text(0) + " · " + item->data(0, MacSidebar::CountRole).toString());
        }
    }
    return lines;
}

QDateTime at(int hour) { return QDateTime(QDate(2026, 6, 14), QTime(hour, 0), Qt::UTC); }

NamingAlert* visibleAlert(QWidget& parent)
{
    for (NamingAlert* alert : parent.findChildren<NamingAlert*>())
        if (alert->isVisible()) return alert;
    return nullptr;
}

} // namespace

TEST(MacSidebar, ListsDaysInOrderWithTheirSpreadsheetsNewestFirstAndTheirCounts)
{
    TempDataDir data;
    LibraryStore store;
    // A library as a phone sends it: arrays in no order, sort indexes and dates decide.
    LibrarySnapshot incoming;
    const DayRecord sunday{QUuid::createUuid(), "Dimanche", at(7), 1};
    const DayRecord saturday{QUuid::createUuid(), "Samedi", at(6), 0};
    const DayRecord friday{QUuid::createUuid(), "Vendredi", at(9), 0};
    incoming.days = {sunday, saturday, friday};
    auto sheet = [](const DayRecord& day, const QString& title, int hour, QList<RowRecord> rows) {
        rows.push_back(RowRecord{QUuid::createUuid(), "", ""});
        return SpreadsheetRecord{QUuid::createUuid(), day.id, title, at(hour), at(hour), true, rows};
    };
    incoming.spreadsheets = {
        sheet(saturday, "Épreuve 1", 8, {RowRecord{QUuid::createUuid(), "12", "4"}}),
        sheet(saturday, "Épreuve 2", 10,
              {RowRecord{QUuid::createUuid(), "12", "4"}, RowRecord{QUuid::createUuid(), "20", ""},
               RowRecord{QUuid::createUuid(), "", "7"}}),
        sheet(sunday, "Grand Prix", 9, {}),
    };
    store.replaceFromRemote(incoming);

    MacSidebar sidebar(store);
    EXPECT_EQ(listed(sidebar), (QStringList{"Vendredi", "  (Aucun tableur)", "Samedi", "  Épreuve 2 · 2 lignes",
                                            "  Épreuve 1 · 1 ligne", "Dimanche", "  Grand Prix · 0 ligne"}))
        << "equal sort indexes: the more recently created day first";
}

TEST(MacSidebar, TypingInTheTableUpdatesCountsWithoutDisturbingTheSelection)
{
    TempDataDir data;
    LibraryStore store;
    TableurView tableur(store);
    tableur.show();
    QApplication::setActiveWindow(&tableur);
    tableur.restoreSelection();
    tableur.createSpreadsheet("Épreuve 1");
    MacSidebar& sidebar = *tableur.sidebar();
    QTreeWidgetItem* selected = sidebar.tree()->currentItem();
    QSignalSpy selectionChanges(&sidebar, &MacSidebar::selectionChanged);

    RowsTableView& table = *tableur.spreadsheetPane()->table();
    for (const char* photo : {"1", "2"}) {
        QTest::keyClicks(&table, photo);
        QTest::keyClick(tableur.focusWidget(), Qt::Key_Return);
    }
    EXPECT_EQ(sidebar.tree()->currentItem(), selected) << "the list was updated in place, not rebuilt";
    EXPECT_EQ(selectionChanges.count(), 0);
    EXPECT_EQ(selected->data(0, MacSidebar::CountRole).toString(), "2 lignes");
}

// A phone's library that changes one spreadsheet: its row alone is updated; one it moves to
// another day moves in the list too; several changed at once are each updated.
TEST(MacSidebar, PhoneChangesToOneSpreadsheetShowInItsRowOrItsNewDay)
{
    TempDataDir data;
    LibraryStore store;
    const DayRecord saturday{QUuid::createUuid(), "Samedi", at(7), 0}, sunday{QUuid::createUuid(), "Dimanche", at(7), 1};
    LibrarySnapshot phone = LibrarySnapshot::empty();
    phone.days = {saturday, sunday};
    phone.spreadsheets = {{QUuid::createUuid(), saturday.id, "Épreuve 1", at(8), at(8), true, {RowRecord::blank()}},
                          {QUuid::createUuid(), saturday.id, "Épreuve 2", at(9), at(9), true, {RowRecord::blank()}}};
    store.replaceFromRemote(phone);
    MacSidebar sidebar(store);
    QTreeWidgetItem* item = sidebar.tree()->topLevelItem(0)->child(1);

    SpreadsheetRecord& sent = phone.spreadsheets[0];
    sent.rows = {RowRecord{QUuid::createUuid(), "12", "4"}};
    store.replaceFromRemote(phone);
    EXPECT_EQ(sidebar.tree()->topLevelItem(0)->child(1), item) << "updated in place";
    EXPECT_EQ(listed(sidebar), (QStringList{"Samedi", "  Épreuve 2 · 0 ligne", "  Épreuve 1 · 1 ligne", "Dimanche",
                                            "  (Aucun tableur)"}));

    sent.dayID = sunday.id;
    store.replaceFromRemote(phone);
    EXPECT_EQ(listed(sidebar), (QStringList{"Samedi", "  Épreuve 2 · 0 ligne", "Dimanche", "  Épreuve 1 · 1 ligne"}));

    // Both at once, in place: each row shows its own new count.
    sent.rows.push_back(RowRecord{QUuid::createUuid(), "13", "5"});
    phone.spreadsheets[1].rows = {RowRecord{QUuid::createUuid(), "20", "8"}};
    store.replaceFromRemote(phone);
    EXPECT_EQ(listed(sidebar), (QStringList{"Samedi", "  Épreuve 2 · 1 ligne", "Dimanche", "  Épreuve 1 · 2 lignes"}));
}

TEST(MacSidebar, DoneMarksReadAndToggleThroughTheBoundStore)
{
    TempDataDir data;
    LibraryStore store;
    const QUuid day = store.addDay("Samedi").id;
    const QUuid sheet = store.addSpreadsheet(day, "Épreuve 1").id;
    MacSidebar sidebar(store);
    sidebar.resize(280, 400);
    sidebar.show();
    QTreeWidgetItem* item = sidebar.tree()->topLevelItem(0)->child(0);

    std::unique_ptr<QMenu> unbound(sidebar.contextMenu(sheet));
    EXPECT_EQ(unbound->actions()[0]->text(), "Marquer comme fait");
    EXPECT_FALSE(unbound->actions()[0]->isEnabled()) << "nothing to toggle before a store is bound";
    EXPECT_FALSE(item->data(0, MacSidebar::DoneRole).toBool());

    QSet<QUuid> done;
    sidebar.setDoneMarks({[&](const QUuid& id) { return done.contains(id); },
                          [&](const QUuid& id, bool isDone) {
                              if (isDone) done.insert(id);
                              else done.remove(id);
                          }});
    const QRect row = sidebar.tree()->visualItemRect(item);
    QTest::mouseClick(sidebar.tree()->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 22, row.center().y()));
    EXPECT_TRUE(done.contains(sheet)) << "a click on the mark toggles it";
    EXPECT_TRUE(item->data(0, MacSidebar::DoneRole).toBool());
    EXPECT_FALSE(sidebar.selectedSpreadsheetID()) << "the click does not select the row";

    std::unique_ptr<QMenu> bound(sidebar.contextMenu(sheet));
    EXPECT_EQ(bound->actions()[0]->text(), "Marquer à faire");
    bound->actions()[0]->trigger();
    EXPECT_FALSE(done.contains(sheet));

    done.insert(sheet);
    sidebar.refreshDoneMarks();
    EXPECT_TRUE(item->data(0, MacSidebar::DoneRole).toBool()) << "a change made elsewhere shows after a refresh";
}

TEST(MacSidebar, NewSpreadsheetOfAnEmptyDayLandsInThatDay)
{
    TempDataDir data;
    LibraryStore store;
    TableurView tableur(store);
    tableur.show();
    tableur.restoreSelection();
    const QUuid first = store.addDay("Samedi").id;
    const QUuid second = store.addDay("Dimanche").id;
    tableur.sidebar()->select(first, std::nullopt);

    QTreeWidget* tree = tableur.sidebar()->tree();
    QTreeWidgetItem* placeholder = tree->topLevelItem(1)->child(0);
    auto* button = tree->itemWidget(placeholder, 0)->findChild<CapsuleButton*>();
    EXPECT_EQ(button->toolTip(), "Nouveau tableur dans Dimanche");
    QTest::mouseClick(button, Qt::LeftButton);
    NamingAlert* alert = visibleAlert(tableur);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Nom du tableur");
    QTest::keyClicks(alert->field(), "Finale");
    QTest::keyClick(alert->field(), Qt::Key_Return);
    ASSERT_EQ(store.snapshot().spreadsheetsIn(second).size(), 1);
    EXPECT_EQ(store.snapshot().spreadsheetsIn(second)[0].title, "Finale");
    EXPECT_EQ(tableur.sidebar()->selectedDayID(), second);

    // Escape abandons the alert.
    tableur.newDay();
    alert = visibleAlert(tableur);
    ASSERT_NE(alert, nullptr);
    QTest::keyClicks(alert->field(), "Lundi");
    QTest::keyClick(alert->field(), Qt::Key_Escape);
    EXPECT_EQ(store.snapshot().days.size(), 2);
}
