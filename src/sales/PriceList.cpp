#include "sales/PriceList.h"

#include "base/Error.h"
#include "sales/Money.h"

#include <QHash>
#include <QJsonArray>

#include <algorithm>
#include <limits>

namespace tavrin {

namespace {

QString folded(const QString& name) { return name.simplified().toCaseFolded(); }

} // namespace

const SectionPrice* PriceList::find(const QString& section) const
{
    const QString key = folded(section);
    for (const SectionPrice& p : sections)
        if (folded(p.section) == key) return &p;
    return nullptr;
}

void PriceList::setPrice(const QString& section, qint64 cents)
{
    const QString name = section.simplified();
    if (name.isEmpty()) throw Error(QStringLiteral("Indiquez le nom du type (par exemple IMPRESSION A5)."));
    if (const SectionPrice* found = find(name)) {
        const_cast<SectionPrice*>(found)->cents = cents;
        return;
    }
    sections.push_back({name, cents, {}});
    std::sort(sections.begin(), sections.end(),
              [](const SectionPrice& a, const SectionPrice& b) { return folded(a.section) < folded(b.section); });
}

void PriceList::addPack(const QString& section, const PricePack& pack)
{
    const SectionPrice* found = find(section);
    if (!found)
        throw Error(QStringLiteral("Le type « ") + section.simplified() +
                    QStringLiteral(" » n’a pas de prix : donnez d’abord le prix d’un fichier."));
    if (pack.count < 0) throw Error(QStringLiteral("Un lot compte au moins un fichier."));
    auto& packs = const_cast<SectionPrice*>(found)->packs;
    packs.removeIf([&](const PricePack& p) { return p.count == pack.count; });
    packs.push_back(pack);
    // Counted packs by size, the rider's set last.
    std::sort(packs.begin(), packs.end(), [](const PricePack& a, const PricePack& b) {
        return (a.count == 0 ? std::numeric_limits<int>::max() : a.count) <
               (b.count == 0 ? std::numeric_limits<int>::max() : b.count);
    });
}

void PriceList::remove(const QString& section)
{
    const QString key = folded(section);
    sections.removeIf([&](const SectionPrice& p) { return folded(p.section) == key; });
}

QJsonObject PriceList::toJson() const
{
    QJsonObject out;
    for (const SectionPrice& p : sections) {
        QJsonArray packs;
        for (const PricePack& pack : p.packs)
            packs.append(QJsonObject{{QStringLiteral("count"), pack.count}, {QStringLiteral("price"), double(pack.cents)}});
        QJsonObject entry{{QStringLiteral("price"), double(p.cents)}};
        if (!packs.isEmpty()) entry.insert(QStringLiteral("packs"), packs);
        out.insert(p.section, entry);
    }
    return out;
}

PriceList PriceList::fromJson(const QJsonObject& object)
{
    PriceList list;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        const double cents = entry.value(QLatin1StringView("price")).toDouble(-1);
        if (cents < 0 || it.key().simplified().isEmpty()) continue;
        SectionPrice price{it.key(), qint64(cents), {}};
        for (const QJsonValue& v : entry.value(QLatin1StringView("packs")).toArray()) {
            const QJsonObject pack = v.toObject();
            const int count = pack.value(QLatin1StringView("count")).toInt(-1);
            const double packCents = pack.value(QLatin1StringView("price")).toDouble(-1);
            if (count >= 0 && packCents >= 0) price.packs.push_back({count, qint64(packCents)});
        }
        list.sections.push_back(price);
    }
    std::sort(list.sections.begin(), list.sections.end(),
              [](const SectionPrice& a, const SectionPrice& b) { return folded(a.section) < folded(b.section); });
    return list;
}

QString packLabel(const PricePack& pack)
{
    const QString what = pack.count == 0 ? QStringLiteral("tous les fichiers d’un cavalier")
                         : pack.count == 1 ? QStringLiteral("1 fichier")
                                           : QString::number(pack.count) + QStringLiteral(" fichiers");
    return what + QStringLiteral(" : ") + Money::text(pack.cents);
}

namespace Pricing {

namespace {

struct Counted {
    QList<qint64> cost;   // cost[n]: n files
    QList<int> choice;    // the pack taken last (-1: one file at the unit price)
};

Counted counted(const SectionPrice& price, int files)
{
    Counted c{QList<qint64>(files + 1, 0), QList<int>(files + 1, -1)};
    for (int n = 1; n <= files; ++n) {
        c.cost[n] = c.cost[n - 1] + price.cents;
        for (int i = 0; i < price.packs.size(); ++i) {
            const PricePack& pack = price.packs[i];
            if (pack.count <= 0) continue;
            const qint64 with = c.cost[std::max(0, n - pack.count)] + pack.cents;
            if (with < c.cost[n]) {
                c.cost[n] = with;
                c.choice[n] = i;
            }
        }
    }
    return c;
}

} // namespace

BillLine section(const SectionPrice* price, const QString& name, const QStringList& riders)
{
    const int files = int(riders.size());
    BillLine line{name, files, 0, price != nullptr, {}};
    if (!price || files == 0) return line;

    // Riders' sets: which riders are paid as a whole, the rest counted. capCost[n] is the least
    // spent on whole riders leaving n files to count; `whole[n]` the riders taken whole.
    const auto riderPack = std::find_if(price->packs.cbegin(), price->packs.cend(), [](const PricePack& p) { return p.count == 0; });
    QList<int> groups;
    if (riderPack != price->packs.cend()) {
        QHash<QString, int> sizes;
        for (const QString& r : riders) ++sizes[r];
        for (auto it = sizes.cbegin(); it != sizes.cend(); ++it) groups.push_back(it.value());
    } else {
        groups.push_back(files);
    }
    constexpr qint64 none = std::numeric_limits<qint64>::max() / 4;
    QList<qint64> capCost(files + 1, none);
    QList<int> wholeCount(files + 1, 0);
    capCost[0] = 0;
    for (int g : groups) {
        QList<qint64> next(files + 1, none);
        QList<int> nextWhole(files + 1, 0);
        for (int n = 0; n <= files; ++n) {
            if (capCost[n] >= none) continue;
            if (n + g <= files && capCost[n] < next[n + g]) {
                next[n + g] = capCost[n];
                nextWhole[n + g] = wholeCount[n];
            }
            if (riderPack != price->packs.cend() && capCost[n] + riderPack->cents < next[n]) {
                next[n] = capCost[n] + riderPack->cents;
                nextWhole[n] = wholeCount[n] + 1;
            }
        }
        capCost = next;
        wholeCount = nextWhole;
    }
    const Counted c = counted(*price, files);
    int best = 0;
    for (int n = 0; n <= files; ++n)
        if (capCost[n] < none && capCost[n] + c.cost[n] < capCost[best] + c.cost[best]) best = n;
    line.cents = capCost[best] + c.cost[best];

    // The detail, biggest packs first.
    QHash<int, int> taken; // pack index (-1: single file) → how many
    for (int n = best; n > 0;) {
        const int i = c.choice[n];
        ++taken[i];
        n = i < 0 ? n - 1 : std::max(0, n - price->packs[i].count);
    }
    QStringList parts;
    const auto times = [](int k, const QString& what) { return k == 1 ? what : QString::number(k) + QStringLiteral(" × ") + what; };
    if (wholeCount[best] > 0) parts.push_back(times(wholeCount[best], packLabel(*riderPack)));
    for (int i = int(price->packs.size()) - 1; i >= 0; --i)
        if (taken.value(i)) parts.push_back(times(taken.value(i), packLabel(price->packs[i])));
    if (const int singles = taken.value(-1)) parts.push_back(QString::number(singles) + QStringLiteral(" × ") + Money::text(price->cents));
    line.detail = parts.join(QStringLiteral(" + "));
    return line;
}

} // namespace Pricing

} // namespace tavrin
