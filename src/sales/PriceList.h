#pragma once

// The stand's prices: one per section name (« IMPRESSION A5 ») with optional packs, and what a
// section of an order costs with them, the cheapest way for the customer.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace tavrin {

struct PricePack {
    // How many files the pack holds; 0 for every file of one rider.
    int count = 0;
    qint64 cents = 0;
    bool operator==(const PricePack&) const = default;
};

struct SectionPrice {
    QString section;
    qint64 cents = 0; // one file
    QList<PricePack> packs;
    bool operator==(const SectionPrice&) const = default;
};

struct PriceList {
    QList<SectionPrice> sections; // in name order

    // The price of a section name, case and spaces ignored; nullptr when it has none.
    const SectionPrice* find(const QString& section) const;
    // Sets the price of one file of a section (added when new).
    void setPrice(const QString& section, qint64 cents);
    // Adds a pack, replacing one of the same count. Throws tavrin::Error for a section without a price.
    void addPack(const QString& section, const PricePack& pack);
    void remove(const QString& section);

    QJsonObject toJson() const;
    // Entries that are not prices are skipped.
    static PriceList fromJson(const QJsonObject& object);
    bool operator==(const PriceList&) const = default;
};

// « 5 fichiers : 35,00 € », « tous les fichiers d’un cavalier : 60,00 € ».
QString packLabel(const PricePack& pack);

// What one section of an order costs.
struct BillLine {
    QString section;
    int count = 0;
    qint64 cents = 0;
    bool priced = false; // false: no price for this section name, counted as nothing
    QString detail;      // « 5 fichiers : 35,00 € + 2 × 15,00 € »
    bool operator==(const BillLine&) const = default;
};

struct Bill {
    QList<BillLine> lines;
    qint64 total = 0;
    bool operator==(const Bill&) const = default;
};

namespace Pricing {

// The cheapest combination of single files, packs of a count (a pack may hold more files than
// are left when that is cheaper) and whole riders' sets. `riders` gives each file's rider; files
// of an unknown rider share one empty key.
BillLine section(const SectionPrice* price, const QString& name, const QStringList& riders);

} // namespace Pricing

} // namespace tavrin
