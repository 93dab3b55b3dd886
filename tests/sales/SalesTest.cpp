#include "TestSupport.h"
#include "base/Error.h"
#include "base/TavrinJSON.h"
#include "sales/Money.h"
#include "sales/SalesBook.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace tavrin;
using test::TempDataDir;

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    test::writeFile(path, "x");
}

// An order with `count` files in each named section.
QString makeOrder(const QString& root, const QString& name, const QList<std::pair<QString, int>>& sections)
{
    const QString folder = root + u'/' + name;
    for (const auto& [section, count] : sections)
        for (int i = 1; i <= count; ++i) touch(QStringLiteral("%1/%2/p%3.jpg").arg(folder, section).arg(i));
    return folder;
}

QJsonObject cli(const TempDataDir& data, const QStringList& args, int expected = 0)
{
    QProcess p;
    p.start(test::binDir() + QStringLiteral("/tavrin-cli"), QStringList{QStringLiteral("--data-dir"), data.path()} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), expected) << p.readAllStandardError().toStdString();
    const QByteArray out = p.readAllStandardOutput();
    return out.trimmed().isEmpty() ? QJsonObject() : TavrinJSON::decodeObject(out);
}

PriceList standPrices()
{
    PriceList list;
    list.setPrice(QStringLiteral("IMPRESSION A5"), 1500);
    list.setPrice(QStringLiteral("FICHIERS"), 1000);
    list.addPack(QStringLiteral("FICHIERS"), {5, 3500});
    list.addPack(QStringLiteral("FICHIERS"), {0, 6000});
    return list;
}

} // namespace

TEST(Money, ShowsAndReadsFrenchAmounts)
{
    EXPECT_EQ(Money::text(1500), QStringLiteral("15,00 €"));
    EXPECT_EQ(Money::text(5), QStringLiteral("0,05 €"));
    EXPECT_EQ(Money::text(125050), QStringLiteral("1\u202F250,50 €"));
    EXPECT_EQ(Money::decimal(125050), QStringLiteral("1250,50"));
    EXPECT_EQ(Money::parse(QStringLiteral("15")), 1500);
    EXPECT_EQ(Money::parse(QStringLiteral("12,5")), 1250);
    EXPECT_EQ(Money::parse(QStringLiteral(" 12.05 € ")), 1205);
    EXPECT_EQ(Money::parse(QStringLiteral("1\u202F250,50 €")), 125050);
    for (const char* bad : {"", "-3", "12,345", "douze", "1,2,3"}) EXPECT_THROW(Money::parse(QString::fromUtf8(bad)), Error) << bad;
}

TEST(Pricing, TakesTheCheapestCombinationForTheCustomer)
{
    const PriceList list = standPrices();
    const SectionPrice* files = list.find(QStringLiteral("fichiers"));
    ASSERT_NE(files, nullptr);
    const auto cost = [&](int n, const QStringList& riders = {}) {
        QStringList r = riders;
        while (r.size() < n) r.push_back(QString());
        return Pricing::section(files, QStringLiteral("FICHIERS"), r).cents;
    };
    EXPECT_EQ(cost(3), 3000);
    EXPECT_EQ(cost(4), 3500); // the pack of 5 is cheaper than 4 singles
    EXPECT_EQ(cost(7), 5500); // 35 + 2 × 10
    EXPECT_EQ(cost(9), 6000); // every file of the one rider
    // Two riders: 12 files of one taken whole, the other's counted.
    QStringList riders;
    for (int i = 0; i < 12; ++i) riders << QStringLiteral("A");
    riders << QStringLiteral("B");
    const BillLine line = Pricing::section(files, QStringLiteral("FICHIERS"), riders);
    EXPECT_EQ(line.cents, 7000);
    EXPECT_EQ(line.detail, QStringLiteral("tous les fichiers d’un cavalier : 60,00 € + 1 × 10,00 €"));
    const BillLine unpriced = Pricing::section(nullptr, QStringLiteral("TIRAGE XXL"), {QString()});
    EXPECT_FALSE(unpriced.priced);
    EXPECT_EQ(unpriced.cents, 0);
    EXPECT_EQ(PriceList::fromJson(list.toJson()), list);
}

TEST(SalesBook, TheTotalFollowsTheOrderAndTheTakingsAddUp)
{
    TempDataDir data;
    const QString root = data.file(QStringLiteral("Commandes"));
    const QString dupont = makeOrder(root, QStringLiteral("DUPONT Marie 2026-12-12 14h05"),
                                     {{QStringLiteral("IMPRESSION A5"), 2}, {QStringLiteral("FICHIERS"), 3}});
    const QString bertin = makeOrder(root, QStringLiteral("BERTIN Camille 2026-12-12 15h10"), {{QStringLiteral("FICHIERS"), 1}});
    makeOrder(root, QStringLiteral("MARTIN 2026-12-13 09h00"), {{QStringLiteral("FICHIERS"), 1}});
    OrdersStore store;
    store.storeRoot(root);
    SalesBook book(store);
    book.setPrices(standPrices());
    EXPECT_EQ(book.bill(dupont).total, 6000);

    // Paid, then a photo is added after the total was shown: the difference is still to pay.
    book.pay(dupont, PaymentMeans::card);
    touch(dupont + QStringLiteral("/IMPRESSION A5/p9.jpg"));
    EXPECT_EQ(book.bill(dupont).total, 7500);
    book.pay(bertin, PaymentMeans::cash);
    const Takings day = book.takings(QDate(2026, 12, 12));
    ASSERT_EQ(day.rows.size(), 2);
    EXPECT_EQ(day.total, 8500);
    EXPECT_EQ(day.paid.value(PaymentMeans::card), 6000);
    EXPECT_EQ(day.paid.value(PaymentMeans::cash), 1000);
    EXPECT_EQ(day.unpaid, 1500);
    EXPECT_EQ(paymentStateText(book.payment(dupont)), QStringLiteral("Payée · carte"));

    // The CSV as an accountant's tools read it.
    const QString csv = data.file(QStringLiteral("caisse.csv"));
    day.writeCsv(csv);
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv,sys\n"
                                 "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8-sig',newline=''),delimiter=';'))\n"
                                 "amount=lambda s: round(float(s.replace(',','.'))*100) if s else 0\n"
                                 "orders=[r for r in rows[1:] if r[0] not in ('Total',) and not r[0].startswith('Payé en')]\n"
                                 "total=[r for r in rows if r[0]=='Total'][0]\n"
                                 "print(len(orders), sum(amount(r[2]) for r in orders), amount(total[2]), amount(total[5]), rows[0][3])"),
                  csv});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(python.readAllStandardOutput()).trimmed(), QStringLiteral("2 8500 8500 1500 Payé"));

    // Undone: the order is to pay again, and the takings say so.
    book.setPayment(dupont, std::nullopt);
    EXPECT_EQ(paymentStateText(book.payment(dupont)), QStringLiteral("À payer"));
    EXPECT_EQ(book.takings(QDate(2026, 12, 12)).unpaid, 7500);
}

TEST(SalesBook, PaymentsFromTheCommandLineReachTheWindowAndTheOrdersKeepTheirs)
{
    TempDataDir data;
    const QString root = data.file(QStringLiteral("Commandes"));
    const QString order = makeOrder(root, QStringLiteral("DUPONT 2026-12-12 14h05"), {{QStringLiteral("FICHIERS"), 2}});
    OrdersStore store;
    store.storeRoot(root);
    SalesBook book(store);
    QSignalSpy changed(&book, &SalesBook::changed);

    const QJsonObject prices = cli(data, {QStringLiteral("orders"), QStringLiteral("prices"), QStringLiteral("--set"), QStringLiteral("FICHIERS"),
                                    QStringLiteral("10"), QStringLiteral("--pack"), QStringLiteral("FICHIERS"), QStringLiteral("tous"),
                                    QStringLiteral("60")});
    EXPECT_EQ(prices.value(QStringLiteral("sections")).toObject().value(QStringLiteral("FICHIERS")).toInt(), 1000);
    EXPECT_EQ(prices.value(QStringLiteral("packs")).toArray().size(), 1);
    cli(data, {QStringLiteral("orders"), QStringLiteral("prices"), QStringLiteral("--pack"), QStringLiteral("AUTRE"), QStringLiteral("3"),
         QStringLiteral("10")},
        1);
    const QJsonObject paid = cli(data, {QStringLiteral("orders"), QStringLiteral("pay"), order, QStringLiteral("--means"), QStringLiteral("virement")});
    EXPECT_EQ(paid.value(QStringLiteral("paid")).toInt(), 2000);
    cli(data, {QStringLiteral("orders"), QStringLiteral("pay"), order, QStringLiteral("--means"), QStringLiteral("chèque")}, 2);

    // The window takes in the command line's writes, and its own write keeps them.
    store.reloadIfChanged();
    EXPECT_GE(changed.count(), 1);
    ASSERT_TRUE(book.payment(order).has_value());
    EXPECT_EQ(book.payment(order)->means, PaymentMeans::transfer);
    store.markDelivered({order + QStringLiteral("/FICHIERS/p1.jpg")});
    const QJsonObject takings = cli(data, {QStringLiteral("orders"), QStringLiteral("takings"), QStringLiteral("--day"), QStringLiteral("2026-12-12")});
    EXPECT_EQ(takings.value(QStringLiteral("total")).toInt(), 2000);
    EXPECT_EQ(takings.value(QStringLiteral("paid")).toObject().value(QStringLiteral("virement")).toInt(), 2000);
    EXPECT_EQ(takings.value(QStringLiteral("unpaid")).toInt(), 0);
    EXPECT_TRUE(store.isDelivered(order + QStringLiteral("/FICHIERS/p1.jpg")));
}

TEST(TakingsCsv, ASpreadsheetReadsTheSameAmounts)
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) GTEST_SKIP() << "soffice is not installed";
    TempDataDir data;
    Takings day;
    day.day = QDate(2026, 12, 12);
    day.rows = {{QStringLiteral("DUPONT; Marie \"Mimi\""), {}, 123456, Payment{PaymentMeans::card, {}, 100000}},
                {QStringLiteral("BERTIN"), {}, 1505, std::nullopt}};
    day.total = 124961;
    day.paid[PaymentMeans::card] = 100000;
    day.unpaid = 24961;
    const QString csv = data.file(QStringLiteral("caisse.csv"));
    day.writeCsv(csv);

    // Opened as a French accountant's spreadsheet opens it (`;`, UTF-8, French numbers), saved as a workbook.
    QProcess office;
    office.start(QStringLiteral("soffice"),
                 {QStringLiteral("-env:UserInstallation=file://") + data.file(QStringLiteral("office")), QStringLiteral("--headless"),
                  QStringLiteral("--infilter=CSV:59,34,76,1,,1036"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"), csv,
                  QStringLiteral("--outdir"), data.path()});
    ASSERT_TRUE(office.waitForFinished(180000));
    ASSERT_TRUE(QFileInfo::exists(data.file(QStringLiteral("caisse.xlsx")))) << office.readAllStandardError().toStdString();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import openpyxl,sys\n"
                                 "rows=list(openpyxl.load_workbook(sys.argv[1]).active.iter_rows(values_only=True))\n"
                                 "cents=lambda v: round(v*100)\n"
                                 "orders=rows[1:3]; total=rows[3]; card=rows[5]\n"
                                 "assert all(isinstance(r[2],(int,float)) for r in orders), orders\n"
                                 "print(orders[0][0], sum(cents(r[2]) for r in orders), cents(total[2]), cents(total[5]), cents(card[3]))"),
                  data.file(QStringLiteral("caisse.xlsx"))});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(python.readAllStandardOutput()).trimmed(),
              QStringLiteral("DUPONT; Marie \"Mimi\" 124961 124961 24961 100000"))
        << python.readAllStandardError().toStdString();
}

TEST(Receipt, APaidOrdersReceiptHoldsTheStandTheLinesAndTheTotal)
{
    TempDataDir data;
    const QString root = data.file(QStringLiteral("Commandes"));
    const QString order = makeOrder(root, QStringLiteral("DUPONT Marie 2026-12-12 14h05"),
                                    {{QStringLiteral("IMPRESSION A5"), 2}, {QStringLiteral("FICHIERS"), 7}});
    {
        OrdersStore store;
        store.storeRoot(root);
        SalesBook book(store);
        book.setPrices(standPrices());
    }
    cli(data, {QStringLiteral("orders"), QStringLiteral("receipt"), order}, 1);
    cli(data, {QStringLiteral("orders"), QStringLiteral("stand"), QStringLiteral("--name"), QStringLiteral("Photos Équestres Martin"),
               QStringLiteral("--address"), QStringLiteral("12 rue des Écuries\n41600 Lamotte-Beuvron")});
    cli(data, {QStringLiteral("orders"), QStringLiteral("pay"), order, QStringLiteral("--means"), QStringLiteral("especes")});
    const QJsonObject made = cli(data, {QStringLiteral("orders"), QStringLiteral("receipt"), order});
    const QString pdf = made.value(QStringLiteral("receipt")).toString();
    EXPECT_EQ(pdf, order + QStringLiteral("/Reçu.pdf"));

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    const QStringList lines = page.split(u'\n');
    const auto hasLine = [&](const QString& start, const QString& end) {
        return std::any_of(lines.cbegin(), lines.cend(), [&](const QString& l) {
            return l.trimmed().startsWith(start) && l.trimmed().endsWith(end);
        });
    };
    EXPECT_TRUE(page.contains(QStringLiteral("Photos Équestres Martin"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("41600 Lamotte-Beuvron")));
    EXPECT_TRUE(hasLine(QStringLiteral("FICHIERS (7)"), QStringLiteral("55,00 €"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("5 fichiers : 35,00 € + 2 × 10,00 €")));
    EXPECT_TRUE(hasLine(QStringLiteral("IMPRESSION A5 (2)"), QStringLiteral("30,00 €")));
    EXPECT_TRUE(hasLine(QStringLiteral("Total"), QStringLiteral("85,00 €")));
    EXPECT_TRUE(page.contains(QStringLiteral("Payée · espèces")));
    // One page.
    EXPECT_EQ(page.count(u'\f'), 1);
    // Not a photo: the gallery does not list it.
    for (const OrderSection& s : OrdersStore::sectionsOf(order))
        for (const OrderMedia& m : s.files) EXPECT_FALSE(m.url.endsWith(QStringLiteral(".pdf")));
}
