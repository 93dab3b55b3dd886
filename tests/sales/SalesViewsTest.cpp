#include "TestSupport.h"
#include "orders/views/OrdersSidebar.h"
#include "orders/views/OrdersView.h"
#include "sales/views/OrderPaymentBar.h"
#include "sales/views/SalesDialogs.h"
#include "ui/UndoBanner.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    test::writeFile(path, "x");
}

struct SalesScreen : ::testing::Test {
    test::TempDataDir data;
    QString root = data.file(QStringLiteral("Commandes"));
    QString order = root + QStringLiteral("/DUPONT Marie 2026-12-12 14h05");
    OrdersStore store;
    SalesBook book{store};

    void SetUp() override
    {
        for (int i = 1; i <= 2; ++i) touch(order + QStringLiteral("/IMPRESSION A5/p%1.jpg").arg(i));
        store.storeRoot(root);
        PriceList prices;
        prices.setPrice(QStringLiteral("IMPRESSION A5"), 1500);
        book.setPrices(prices);
    }
};

} // namespace

TEST_F(SalesScreen, OneClickPaysTheOrderAnnulerTakesItBackAndTheTotalFollowsThePhotos)
{
    OrdersView view(store);
    view.orderNote = [this](const OrderFolder& f) { return OrderPaymentBar::orderNote(book, f); };
    view.belowTitle = [this](QWidget* parent) { return new OrderPaymentBar(book, parent); };
    QObject::connect(&book, &SalesBook::changed, &view, &OrdersView::orderNotesChanged);
    view.resize(1280, 720);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    store.selectFolder(order);
    auto* bar = view.findChild<OrderPaymentBar*>();
    ASSERT_NE(bar, nullptr);
    QListWidget* list = view.sidebar()->orderList();
    EXPECT_EQ(bar->totalLabel()->text(), QStringLiteral("Total : 30,00 €"));
    EXPECT_EQ(bar->stateLabel()->text(), QStringLiteral("À payer"));
    EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("\n30,00 € · À payer")));

    QTest::mouseClick(bar->payButton(PaymentMeans::card), Qt::LeftButton);
    EXPECT_EQ(bar->stateLabel()->text(), QStringLiteral("Payée · carte"));
    EXPECT_TRUE(bar->payButton(PaymentMeans::cash)->isHidden());
    EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("Payée · carte")));
    ASSERT_TRUE(book.payment(order).has_value());
    EXPECT_EQ(book.payment(order)->cents, 3000);


    // The receipt, from the bar, in the order folder.
    EXPECT_TRUE(bar->receiptButton()->isVisibleTo(bar));
    const std::optional<QString> receipt = bar->writeReceipt();
    ASSERT_TRUE(receipt.has_value());
    EXPECT_TRUE(QFileInfo(*receipt).size() > 0);

    // Undone from the banner: to pay again, on disk too.
    ASSERT_TRUE(bar->undoBanner()->isVisibleTo(bar));
    QTest::mouseClick(bar->undoBanner()->undoButton(), Qt::LeftButton);
    EXPECT_EQ(bar->stateLabel()->text(), QStringLiteral("À payer"));
    EXPECT_FALSE(bar->receiptButton()->isVisibleTo(bar));
    EXPECT_FALSE(OrdersStore().annex(QStringLiteral("payments")).contains(order));

    // Paid, then the photographer adds a print: the total follows and what is left shows.
    bar->pay(PaymentMeans::cash);
    touch(order + QStringLiteral("/IMPRESSION A5/p3.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(bar->totalLabel()->text(), QStringLiteral("Total : 45,00 €"), 5000);
    EXPECT_EQ(bar->stateLabel()->text(), QStringLiteral("Payée · espèces · reste 15,00 €"));

    // Without a price list the till hides, except for an order already paid.
    book.setPrices(PriceList());
    EXPECT_TRUE(bar->totalLabel()->isVisibleTo(bar));
    bar->unpay();
    EXPECT_FALSE(bar->totalLabel()->isVisibleTo(bar));
    EXPECT_FALSE(bar->payButton(PaymentMeans::card)->isVisibleTo(bar));
    EXPECT_EQ(list->item(0)->text().indexOf(QStringLiteral("À payer")), -1);
}

TEST_F(SalesScreen, PriceEditsAreCheckedAndUndoable)
{
    PricesDialog dialog(book);
    EXPECT_FALSE(dialog.savePrice(QStringLiteral("FICHIERS"), QStringLiteral("dix")));
    EXPECT_TRUE(dialog.errorLabel()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.errorLabel()->text().contains(QStringLiteral("n’est pas un prix")));
    EXPECT_FALSE(dialog.savePack(QStringLiteral("AUTRE"), 5, QStringLiteral("35")));
    EXPECT_TRUE(dialog.errorLabel()->text().contains(QStringLiteral("n’a pas de prix")));

    EXPECT_TRUE(dialog.savePrice(QStringLiteral("FICHIERS"), QStringLiteral("10")));
    EXPECT_TRUE(dialog.savePack(QStringLiteral("FICHIERS"), 0, QStringLiteral("60")));
    EXPECT_FALSE(dialog.errorLabel()->isVisibleTo(&dialog));
    ASSERT_EQ(dialog.table()->rowCount(), 2);
    EXPECT_EQ(dialog.table()->item(0, 0)->text(), QStringLiteral("FICHIERS"));
    EXPECT_EQ(dialog.table()->item(0, 2)->text(), QStringLiteral("tous les fichiers d’un cavalier : 60,00 €"));

    dialog.saveStand(QStringLiteral("Photos Martin"), QStringLiteral("12 rue des Écuries, 41600 Lamotte-Beuvron"));
    EXPECT_EQ(book.stand().address, QStringLiteral("12 rue des Écuries\n41600 Lamotte-Beuvron"));
    dialog.undo();
    EXPECT_EQ(book.stand().name, QString());
    dialog.undo();
    EXPECT_TRUE(book.prices().find(QStringLiteral("FICHIERS"))->packs.isEmpty());
    dialog.undo();
    EXPECT_EQ(book.prices().find(QStringLiteral("FICHIERS")), nullptr);
    EXPECT_EQ(dialog.table()->rowCount(), 1);
}

TEST_F(SalesScreen, TheDaysTakingsAndTheirExport)
{
    book.pay(order, PaymentMeans::transfer);
    touch(root + QStringLiteral("/BERTIN 2026-12-12 15h00/IMPRESSION A5/x.jpg"));
    touch(root + QStringLiteral("/AUTRE 2026-12-13 09h00/IMPRESSION A5/x.jpg"));
    store.reload();
    TakingsDialog dialog(book);
    dialog.setDay(QDate(2026, 12, 12));
    EXPECT_EQ(dialog.table()->rowCount(), 2);
    EXPECT_EQ(dialog.summaryLabel()->text(),
              QStringLiteral("2 commandes · Total : 45,00 €\nPayé : espèces 0,00 €, carte 0,00 €, virement 30,00 €\nReste à payer : 15,00 €"));
    const QString csv = data.file(QStringLiteral("caisse.csv"));
    TakingsDialog::csvPathHook() = [csv] { return csv; };
    QTest::mouseClick(dialog.findChild<QAbstractButton*>(QStringLiteral("takingsExport")), Qt::LeftButton);
    TakingsDialog::csvPathHook() = nullptr;
    EXPECT_TRUE(QString::fromUtf8(test::readFile(csv)).contains(QStringLiteral("Total;12/12/2026;45,00;30,00;;15,00")));
    EXPECT_FALSE(dialog.exportCsv(data.file(QStringLiteral("absent/caisse.csv"))));
}
