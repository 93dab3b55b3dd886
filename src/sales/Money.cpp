#include "sales/Money.h"

#include "base/Error.h"

#include <QRegularExpression>

namespace tavrin::Money {

QString decimal(qint64 cents)
{
    const qint64 magnitude = qAbs(cents);
    return (cents < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 100) + u',' +
           QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QString text(qint64 cents)
{
    const qint64 magnitude = qAbs(cents);
    QString whole = QString::number(magnitude / 100);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3) whole.insert(at, QChar(0x202F));
    return (cents < 0 ? QStringLiteral("-") : QString()) + whole + u',' +
           QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0')) + QStringLiteral(" €");
}

qint64 parse(const QString& euros)
{
    QString t = euros;
    t.remove(QChar(0x202F)).remove(QChar(0x00A0)).remove(u'€');
    t = t.trimmed();
    static const QRegularExpression shape(QStringLiteral("^(\\d{1,7})(?:[.,](\\d{1,2}))?$"));
    const QRegularExpressionMatch m = shape.match(t);
    if (!m.hasMatch())
        throw Error(QStringLiteral("« ") + euros +
                    QStringLiteral(" » n’est pas un prix : écrivez un montant en euros, par exemple 15 ou 12,50."));
    qint64 cents = m.captured(1).toLongLong() * 100;
    if (const QString fraction = m.captured(2); !fraction.isEmpty())
        cents += fraction.size() == 1 ? fraction.toLongLong() * 10 : fraction.toLongLong();
    return cents;
}

} // namespace tavrin::Money
