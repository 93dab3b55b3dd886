#include "sales/SalesBook.h"

#include "base/Error.h"
#include "sales/Money.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSaveFile>

namespace tavrin {

namespace {

const QString pricesKey = QStringLiteral("prices");
const QString paymentsKey = QStringLiteral("payments");
const QString standKey = QStringLiteral("stand");

} // namespace

namespace Payments {

const QList<PaymentMeans>& allMeans()
{
    static const QList<PaymentMeans> all{PaymentMeans::cash, PaymentMeans::card, PaymentMeans::transfer};
    return all;
}

QString key(PaymentMeans means)
{
    switch (means) {
    case PaymentMeans::cash: return QStringLiteral("especes");
    case PaymentMeans::card: return QStringLiteral("carte");
    case PaymentMeans::transfer: return QStringLiteral("virement");
    }
    return {};
}

std::optional<PaymentMeans> fromKey(const QString& text)
{
    for (PaymentMeans m : allMeans())
        if (key(m) == text) return m;
    return std::nullopt;
}

QString label(PaymentMeans means)
{
    switch (means) {
    case PaymentMeans::cash: return QStringLiteral("espèces");
    case PaymentMeans::card: return QStringLiteral("carte");
    case PaymentMeans::transfer: return QStringLiteral("virement");
    }
    return {};
}

} // namespace Payments

QString paymentStateText(const std::optional<Payment>& payment)
{
    return payment ? QStringLiteral("Payée · ") + Payments::label(payment->means) : QStringLiteral("À payer");
}

SalesBook::SalesBook(OrdersStore& store, QObject* parent) : QObject(parent), m_store(store)
{
    connect(&m_store, &OrdersStore::annexesChanged, this, &SalesBook::changed);
}

PriceList SalesBook::prices() const { return PriceList::fromJson(m_store.annex(pricesKey)); }

void SalesBook::setPrices(const PriceList& prices) { m_store.setAnnex(pricesKey, prices.toJson()); }

Stand SalesBook::stand() const
{
    const QJsonObject o = m_store.annex(standKey);
    return {o.value(QLatin1StringView("name")).toString(), o.value(QLatin1StringView("address")).toString()};
}

void SalesBook::setStand(const Stand& stand)
{
    QJsonObject o;
    if (!stand.name.trimmed().isEmpty()) o.insert(QStringLiteral("name"), stand.name.trimmed());
    if (!stand.address.trimmed().isEmpty()) o.insert(QStringLiteral("address"), stand.address.trimmed());
    m_store.setAnnex(standKey, o);
}

std::optional<Payment> SalesBook::payment(const QString& orderFolder) const
{
    const QJsonObject entry = m_store.annex(paymentsKey).value(orderFolder).toObject();
    const std::optional<PaymentMeans> means = Payments::fromKey(entry.value(QLatin1StringView("means")).toString());
    if (!means) return std::nullopt;
    return Payment{*means, QDateTime::fromString(entry.value(QLatin1StringView("paidAt")).toString(), Qt::ISODate),
                   qint64(entry.value(QLatin1StringView("price")).toDouble())};
}

void SalesBook::setPayment(const QString& orderFolder, const std::optional<Payment>& payment)
{
    QJsonObject payments = m_store.annex(paymentsKey);
    if (payment)
        payments.insert(orderFolder, QJsonObject{{QStringLiteral("means"), Payments::key(payment->means)},
                                                 {QStringLiteral("paidAt"), payment->at.toString(Qt::ISODate)},
                                                 {QStringLiteral("price"), double(payment->cents)}});
    else
        payments.remove(orderFolder);
    m_store.setAnnex(paymentsKey, payments);
}

Payment SalesBook::pay(const QString& orderFolder, PaymentMeans means, const QDateTime& at)
{
    const Payment payment{means, at, bill(orderFolder).total};
    setPayment(orderFolder, payment);
    return payment;
}

QStringList SalesBook::ridersOf(const QString& orderFolder, const OrderSection& section)
{
    // The showcase writes one line per photo: « FORMAT : file.jpg — Rider folder (n° 12) ».
    QHash<QString, QString> riderOfFile;
    QFile note(orderFolder + QStringLiteral("/commande.txt"));
    if (note.open(QIODevice::ReadOnly)) {
        static const QRegularExpression line(QStringLiteral("^(.+?) : (.+?) — (.+?)(?: \\(n° [^)]*\\))?$"));
        for (const QString& text : QString::fromUtf8(note.readAll()).split(u'\n')) {
            const QRegularExpressionMatch m = line.match(text);
            if (m.hasMatch()) riderOfFile.insert(m.captured(2), m.captured(3));
        }
    }
    QStringList riders;
    for (const OrderMedia& file : section.files) riders.push_back(riderOfFile.value(QFileInfo(file.url).fileName()));
    return riders;
}

Bill SalesBook::bill(const QString& orderFolder, const QList<OrderSection>& sections) const
{
    const PriceList list = prices();
    Bill bill;
    for (const OrderSection& section : sections) {
        if (section.files.isEmpty()) continue;
        BillLine line = Pricing::section(list.find(section.name), section.name, ridersOf(orderFolder, section));
        bill.total += line.cents;
        bill.lines.push_back(std::move(line));
    }
    return bill;
}

Bill SalesBook::bill(const QString& orderFolder) const { return bill(orderFolder, OrdersStore::sectionsOf(orderFolder)); }

QDate SalesBook::orderDay(const OrderFolder& folder)
{
    static const QRegularExpression dated(QStringLiteral("(\\d{4}-\\d{2}-\\d{2})"));
    if (const QRegularExpressionMatch m = dated.match(folder.name); m.hasMatch()) {
        const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
        if (day.isValid()) return day;
    }
    const QFileInfo info(folder.url);
    const QDateTime born = info.birthTime();
    return (born.isValid() ? born : info.lastModified()).date();
}

Takings SalesBook::takings(const QDate& day) const
{
    Takings out;
    out.day = day;
    for (const OrderFolder& folder : m_store.folders()) {
        if (orderDay(folder) != day) continue;
        TakingsRow row{folder.name, folder.url, bill(folder.url).total, payment(folder.url)};
        out.total += row.total;
        if (row.payment) {
            out.paid[row.payment->means] += row.payment->cents;
            out.unpaid += std::max<qint64>(0, row.total - row.payment->cents);
        } else {
            out.unpaid += row.total;
        }
        out.rows.push_back(std::move(row));
    }
    return out;
}

QJsonObject Takings::toJson() const
{
    QJsonArray orders;
    for (const TakingsRow& row : rows) {
        QJsonObject o{{QStringLiteral("folder"), row.folder},
                      {QStringLiteral("total"), double(row.total)},
                      {QStringLiteral("paid"), double(row.payment ? row.payment->cents : 0)}};
        o.insert(QStringLiteral("means"), row.payment ? QJsonValue(Payments::key(row.payment->means)) : QJsonValue());
        orders.append(o);
    }
    QJsonObject paidBy;
    for (PaymentMeans m : Payments::allMeans()) paidBy.insert(Payments::key(m), double(paid.value(m)));
    return {{QStringLiteral("orders"), orders},
            {QStringLiteral("total"), double(total)},
            {QStringLiteral("paid"), paidBy},
            {QStringLiteral("unpaid"), double(unpaid)}};
}

QByteArray Takings::csv() const
{
    // A field holding the separator, a quote or a line break is quoted.
    const auto cell = [](QString text) -> QString {
        if (text.contains(u';') || text.contains(u'"') || text.contains(u'\n')) {
            text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            return QString(u'"' + text + u'"');
        }
        return text;
    };
    QStringList lines{QStringLiteral("Commande;Date;Total;Payé;Moyen de paiement;Reste à payer")};
    const QString date = day.toString(QStringLiteral("dd/MM/yyyy"));
    for (const TakingsRow& row : rows) {
        const qint64 paid = row.payment ? row.payment->cents : 0;
        lines.push_back(QStringList{cell(row.folder), date, Money::decimal(row.total), Money::decimal(paid),
                                    row.payment ? Payments::label(row.payment->means) : QString(),
                                    Money::decimal(std::max<qint64>(0, row.total - paid))}
                            .join(u';'));
    }
    qint64 paidAll = 0;
    for (PaymentMeans m : Payments::allMeans()) paidAll += paid.value(m);
    lines.push_back(QStringList{QStringLiteral("Total"), date, Money::decimal(total), Money::decimal(paidAll), QString(),
                                Money::decimal(unpaid)}
                        .join(u';'));
    for (PaymentMeans m : Payments::allMeans())
        lines.push_back(QStringList{QStringLiteral("Payé en ") + Payments::label(m), date, QString(), Money::decimal(paid.value(m)),
                                    Payments::label(m), QString()}
                            .join(u';'));
    return QByteArray("\xEF\xBB\xBF") + (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

void Takings::writeCsv(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv()) < 0 || !file.commit())
        throw Error(QStringLiteral("Le fichier « ") + path + QStringLiteral(" » n’a pas pu être écrit : ") + file.errorString());
}

} // namespace tavrin
