#include "RealWindow.h"
#include "TestSupport.h"

#include "orders/views/OrdersView.h"
#include "sales/views/OrderPaymentBar.h"
#include "sales/views/SalesDialogs.h"
#include "ui/UndoBanner.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

using namespace tavrin;
namespace realwindow = tavrin::test::realwindow;

// On a 1280 × 720 screen: the order's payment line fits, a real click marks it paid by card,
// « Annuler » takes it back; a price typed in « Tarifs » is saved and Ctrl+Z takes it back.
TEST(SalesRealWindow, PaidWithOneClickUndoneAndAPriceTypedThenTakenBack)
{
    test::TempDataDir data;
    const QString root = data.file(QStringLiteral("Commandes"));
    const QString order = root + QStringLiteral("/DUPONT Marie 2026-12-12 14h05");
    QDir().mkpath(order + QStringLiteral("/IMPRESSION A5"));
    test::writeFile(order + QStringLiteral("/IMPRESSION A5/p1.jpg"), "x");
    OrdersStore store;
    store.storeRoot(root);
    store.selectFolder(order);
    SalesBook book(store);
    PriceList prices;
    prices.setPrice(QStringLiteral("IMPRESSION A5"), 1500);
    book.setPrices(prices);

    OrdersView view(store);
    view.belowTitle = [&book](QWidget* parent) { return new OrderPaymentBar(book, parent); };
    view.resize(1280, 680);
    view.show();
    ASSERT_TRUE(realwindow::waitForWindow(view));
    auto* bar = view.findChild<OrderPaymentBar*>();
    ASSERT_NE(bar, nullptr);
    QAbstractButton* card = bar->payButton(PaymentMeans::card);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->isVisible(); }, 5000));
    // Inside the window, not pushed out by the others.
    EXPECT_TRUE(view.rect().contains(QRect(card->mapTo(&view, QPoint(0, 0)), card->size())));
    ASSERT_TRUE(realwindow::click(card));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->stateLabel()->text() == QStringLiteral("Payée · carte"); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->undoBanner()->undoButton()->isVisible(); }, 5000));
    ASSERT_TRUE(realwindow::click(bar->undoBanner()->undoButton()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->stateLabel()->text() == QStringLiteral("À payer"); }, 5000));
    EXPECT_FALSE(book.payment(order).has_value());

    PricesDialog dialog(book);
    dialog.show();
    ASSERT_TRUE(realwindow::waitForWindow(dialog));
    auto* section = dialog.findChild<QWidget*>(QStringLiteral("pricesSection"));
    auto* price = dialog.findChild<QLineEdit*>(QStringLiteral("pricesPrice"));
    ASSERT_TRUE(section && price);
    ASSERT_TRUE(realwindow::click(section));
    ASSERT_TRUE(realwindow::key(QStringLiteral("ctrl+a")));
    ASSERT_TRUE(realwindow::type(QStringLiteral("FICHIERS"), 40));
    ASSERT_TRUE(realwindow::click(price));
    ASSERT_TRUE(realwindow::type(QStringLiteral("12,50"), 40));
    QAbstractButton* save = nullptr;
    for (auto* b : dialog.findChildren<QAbstractButton*>())
        if (b->text() == QStringLiteral("Enregistrer le prix")) save = b;
    ASSERT_NE(save, nullptr);
    ASSERT_TRUE(realwindow::click(save));
    ASSERT_TRUE(QTest::qWaitFor([&] { return book.prices().find(QStringLiteral("FICHIERS")) != nullptr; }, 5000));
    EXPECT_EQ(book.prices().find(QStringLiteral("FICHIERS"))->cents, 1250);
    ASSERT_TRUE(realwindow::key(QStringLiteral("ctrl+z")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return book.prices().find(QStringLiteral("FICHIERS")) == nullptr; }, 5000));
}

int main(int argc, char** argv) { return realwindow::run(argc, argv); }
