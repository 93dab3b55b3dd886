#include "cli/Cli.h"
#include "orders/OrdersStore.h"
#include "sales/Money.h"
#include "sales/Receipt.h"
#include "sales/SalesBook.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace tavrin::cli {
namespace {

QJsonObject pricesJson(const PriceList& list)
{
    QJsonObject sections;
    QJsonArray packs;
    for (const SectionPrice& p : list.sections) {
        sections.insert(p.section, double(p.cents));
        for (const PricePack& pack : p.packs)
            packs.append(QJsonObject{{QStringLiteral("section"), p.section},
                                     {QStringLiteral("count"), pack.count},
                                     {QStringLiteral("price"), double(pack.cents)}});
    }
    return {{QStringLiteral("sections"), sections}, {QStringLiteral("packs"), packs}};
}

int prices(const QStringList& raw)
{
    const Args args(raw, {}, {}, {{QStringLiteral("set"), 2}, {QStringLiteral("pack"), 3}});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("orders prices ne prend pas d’argument"));
    OrdersStore store;
    SalesBook book(store);
    PriceList list = book.prices();
    for (const QStringList& set : args.groups(QStringLiteral("set"))) list.setPrice(set[0], Money::parse(set[1]));
    for (const QStringList& pack : args.groups(QStringLiteral("pack"))) {
        // « tous » (or 0): every file of one rider.
        bool number = false;
        const int count = pack[1] == QStringLiteral("tous") ? 0 : pack[1].toInt(&number);
        if (pack[1] != QStringLiteral("tous") && (!number || count < 0))
            throw UsageError(QStringLiteral("le nombre de fichiers d’un lot est un entier, ou « tous » pour tous les fichiers d’un cavalier"));
        list.addPack(pack[0], {count, Money::parse(pack[2])});
    }
    book.setPrices(list);
    printJson(pricesJson(book.prices()));
    return 0;
}

// An order folder by its path, or by its name in the orders root.
QString orderFolder(OrdersStore& store, const QString& given)
{
    if (QFileInfo(given).isDir()) return QFileInfo(given).absoluteFilePath();
    store.reload();
    for (const OrderFolder& folder : store.folders())
        if (folder.name == given) return folder.url;
    throw Error(QStringLiteral("Aucune commande ne s’appelle « ") + given + QStringLiteral(" »."));
}

QJsonObject orderJson(const SalesBook& book, const QString& folder)
{
    const std::optional<Payment> payment = book.payment(folder);
    return {{QStringLiteral("total"), double(book.bill(folder).total)},
            {QStringLiteral("paid"), double(payment ? payment->cents : 0)},
            {QStringLiteral("means"), payment ? QJsonValue(Payments::key(payment->means)) : QJsonValue()}};
}

int pay(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("means")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez une commande"));
    const QString key = args.required(QStringLiteral("means"));
    const std::optional<PaymentMeans> means = Payments::fromKey(key);
    if (!means) throw UsageError(QStringLiteral("--means vaut especes, carte ou virement"));
    OrdersStore store;
    SalesBook book(store);
    const QString folder = orderFolder(store, args.positional().first());
    book.pay(folder, *means);
    printJson(orderJson(book, folder));
    return 0;
}

int unpay(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez une commande"));
    OrdersStore store;
    SalesBook book(store);
    const QString folder = orderFolder(store, args.positional().first());
    book.setPayment(folder, std::nullopt);
    printJson(orderJson(book, folder));
    return 0;
}

int takings(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("day"), QStringLiteral("csv")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("orders takings ne prend pas d’argument"));
    QDate day = QDate::currentDate();
    if (const std::optional<QString> given = args.value(QStringLiteral("day"))) {
        day = QDate::fromString(*given, Qt::ISODate);
        if (!day.isValid()) throw UsageError(QStringLiteral("--day s’écrit AAAA-MM-JJ, par exemple 2026-12-12"));
    }
    OrdersStore store;
    store.reload();
    const SalesBook book(store);
    const Takings t = book.takings(day);
    if (const std::optional<QString> out = args.value(QStringLiteral("csv"))) t.writeCsv(*out);
    printJson(t.toJson());
    return 0;
}

int stand(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("name"), QStringLiteral("address")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("orders stand ne prend pas d’argument"));
    OrdersStore store;
    SalesBook book(store);
    Stand s = book.stand();
    if (const auto name = args.value(QStringLiteral("name"))) s.name = *name;
    if (const auto address = args.value(QStringLiteral("address"))) s.address = *address;
    book.setStand(s);
    s = book.stand();
    printJson(QJsonObject{{QStringLiteral("name"), s.name}, {QStringLiteral("address"), s.address}});
    return 0;
}

int receipt(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("out")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez une commande"));
    OrdersStore store;
    SalesBook book(store);
    const QString folder = orderFolder(store, args.positional().first());
    const std::optional<Payment> payment = book.payment(folder);
    if (!payment)
        throw Error(QStringLiteral("La commande « ") + QFileInfo(folder).fileName() + QStringLiteral(" » n’est pas payée : pas de reçu."));
    const QString out = QFileInfo(args.value(QStringLiteral("out")).value_or(Receipt::defaultPath(folder))).absoluteFilePath();
    Receipt::write(book.stand(), QFileInfo(folder).fileName(), book.bill(folder), *payment, out);
    printJson(QJsonObject{{QStringLiteral("receipt"), out}});
    return 0;
}

const Registration standCommand{{QStringLiteral("orders stand"), QStringLiteral("orders stand [--name NOM] [--address ADRESSE]"),
                                 QStringLiteral("Le nom et l’adresse du stand, imprimés sur les reçus."), stand}};
const Registration receiptCommand{{QStringLiteral("orders receipt"), QStringLiteral("orders receipt COMMANDE [--out FICHIER.pdf]"),
                                   QStringLiteral("Écrit le reçu d’une commande payée (PDF d’une page)."), receipt}};
const Registration pricesCommand{{QStringLiteral("orders prices"),
                                  QStringLiteral("orders prices [--set TYPE EUROS]… [--pack TYPE NOMBRE|tous EUROS]…"),
                                  QStringLiteral("Affiche les tarifs par type et leurs lots, après les changements demandés."), prices}};
const Registration payCommand{{QStringLiteral("orders pay"), QStringLiteral("orders pay COMMANDE --means especes|carte|virement"),
                               QStringLiteral("Marque une commande payée."), pay}};
const Registration unpayCommand{{QStringLiteral("orders unpay"), QStringLiteral("orders unpay COMMANDE"),
                                 QStringLiteral("Remet une commande à payer."), unpay}};
const Registration takingsCommand{{QStringLiteral("orders takings"), QStringLiteral("orders takings [--day AAAA-MM-JJ] [--csv FICHIER]"),
                                   QStringLiteral("La caisse du jour : commandes, totaux, payé par moyen, reste à payer."), takings}};

} // namespace
} // namespace tavrin::cli
