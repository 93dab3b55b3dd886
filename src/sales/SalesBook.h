#pragma once

// What the stand sells, over the orders store: the price list and each order's payment, kept in
// the orders' settings file beside the delivered marks (annexes « prices » and « payments »), an
// order's bill from the photos its sections hold now, and a day's takings.

#include "orders/OrdersStore.h"
#include "sales/PriceList.h"
#include "sales/Receipt.h"

#include <QDate>
#include <QDateTime>
#include <QMap>
#include <QObject>

#include <optional>

namespace tavrin {

enum class PaymentMeans { cash, card, transfer };

namespace Payments {
const QList<PaymentMeans>& allMeans();
// « especes », « carte », « virement »: the key on disk, in JSON and on the command line.
QString key(PaymentMeans means);
std::optional<PaymentMeans> fromKey(const QString& key);
// « espèces », « carte », « virement ».
QString label(PaymentMeans means);
} // namespace Payments

struct Payment {
    PaymentMeans means = PaymentMeans::cash;
    QDateTime at;
    qint64 cents = 0; // the order's total when it was paid
    bool operator==(const Payment&) const = default;
};

// « À payer », « Payée · espèces »…
QString paymentStateText(const std::optional<Payment>& payment);

struct TakingsRow {
    QString folder; // the order's name
    QString path;
    qint64 total = 0;
    std::optional<Payment> payment;
};

struct Takings {
    QDate day;
    QList<TakingsRow> rows;
    qint64 total = 0;
    QMap<PaymentMeans, qint64> paid;
    qint64 unpaid = 0; // what paid orders still owe after an edit counts too

    QJsonObject toJson() const;
    // `;`-separated, UTF-8 with its byte-order mark, decimal comma; one line per order, then the totals.
    QByteArray csv() const;
    // Writes csv() whole or not at all; throws tavrin::Error with a French message.
    void writeCsv(const QString& path) const;
};

class SalesBook : public QObject {
    Q_OBJECT
public:
    explicit SalesBook(OrdersStore& store, QObject* parent = nullptr);

    OrdersStore& store() const { return m_store; }

    PriceList prices() const;
    void setPrices(const PriceList& prices);

    // The stand's name and address, printed on receipts.
    Stand stand() const;
    void setStand(const Stand& stand);

    std::optional<Payment> payment(const QString& orderFolder) const;
    // None marks the order unpaid.
    void setPayment(const QString& orderFolder, const std::optional<Payment>& payment);
    // Records the order paid now by `means`, for its total of the moment.
    Payment pay(const QString& orderFolder, PaymentMeans means, const QDateTime& at = QDateTime::currentDateTime());

    // The bill of sections as listed (the selected order's, followed by the store).
    Bill bill(const QString& orderFolder, const QList<OrderSection>& sections) const;
    // The bill of an order folder as it is on disk now.
    Bill bill(const QString& orderFolder) const;

    // The orders of the store's root made that day.
    Takings takings(const QDate& day) const;

    // The day an order was made: the date in its name (« DUPONT Marie 2026-12-12 14h05 »), else
    // the folder's creation.
    static QDate orderDay(const OrderFolder& folder);
    // Each file's rider, from the order's « commande.txt » when it names them.
    static QStringList ridersOf(const QString& orderFolder, const OrderSection& section);

Q_SIGNALS:
    void changed();

private:
    OrdersStore& m_store;
};

} // namespace tavrin
