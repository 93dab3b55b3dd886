#pragma once

// Turns a visitor's order into an order folder of the orders root: named after the customer and
// the time, never replacing one that exists, one section folder per format with copies of the
// chosen photos, and "commande.txt" with the name, telephone, time and list (each photo with its
// rider's folder and number). The folder appears
// under its name only once complete. Bounded: orders per address and per minute, photos per
// order, and free space kept on the disk.

#include "sales/PriceList.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

namespace tavrin {

class ShowcaseOrders {
public:
    struct Line {
        QString photoPath;
        QString format; // a section name
    };
    struct Order {
        QString name;
        QString telephone;
        QList<Line> lines;
        QHostAddress from;
    };
    struct Limits {
        int perAddressPerMinute = 5;
        int perMinute = 60;
        int maxLines = 200;
        qint64 keepFreeBytes = 512LL * 1024 * 1024;
    };

    explicit ShowcaseOrders(QString root, Limits limits);
    ShowcaseOrders(QString root) : ShowcaseOrders(std::move(root), Limits{}) {}

    // The order folder's name; throws Error with the French reason shown to the visitor.
    QString place(const Order& order, const QDateTime& now = QDateTime::currentDateTime());

    const QString& root() const { return m_root; }
    // The number of the rider whose folder a photo comes from, written beside it in
    // "commande.txt"; set once, before the first order.
    std::function<QString(const QString& folderName)> riderNumber;
    // The stand's prices; set once, before the first order. Empty: no prices are written.
    PriceList prices;

    // What the lines cost, one bill line per format in the order they first appear; each photo's
    // rider is its folder.
    static Bill bill(const PriceList& prices, const QList<Line>& lines);

private:
    void admit(const QHostAddress& from, const QDateTime& now);

    QString m_root;
    Limits m_limits;
    QMutex m_mutex;
    QHash<QString, QList<QDateTime>> m_recent; // per address, the last minute's orders
    QList<QDateTime> m_recentAll;
};

} // namespace tavrin
