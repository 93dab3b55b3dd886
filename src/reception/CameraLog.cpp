#include "reception/CameraLog.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <map>

namespace tavrin {

namespace {

// A stem split around its last run of digits: "DSC_" 1398 "" with the digits' width.
struct Numbered {
    QString before, after;
    qint64 number = -1;
    int width = 0;
};

Numbered numbered(const QString& stem)
{
    qsizetype end = stem.size();
    while (end > 0 && !stem[end - 1].isDigit()) --end;
    qsizetype begin = end;
    while (begin > 0 && stem[begin - 1].isDigit()) --begin;
    if (begin == end || end - begin > 12) return {};
    return {stem.left(begin), stem.mid(end), stem.mid(begin, end - begin).toLongLong(), int(end - begin)};
}

QString countText(qint64 n, const char* one, const char* many)
{
    return QLocale(QLocale::French).toString(n) + QLatin1Char(' ') +
           QString::fromUtf8(n > 1 ? many : one);
}

} // namespace

QString agoText(qint64 seconds)
{
    if (seconds < 60) return QStringLiteral("il y a %1 s").arg(std::max<qint64>(0, seconds));
    if (seconds < 3600) return QStringLiteral("il y a %1 min").arg(seconds / 60);
    return QStringLiteral("il y a %1 h").arg(seconds / 3600);
}

QStringList CameraSeen::missing() const
{
    // Per prefix and suffix, the numbers seen; a camera that wrapped from 9999 to 0001 shows a
    // large span, which is not a gap: spans over 1000 are left alone.
    std::map<std::pair<QString, QString>, std::pair<int, QList<qint64>>> series;
    for (const QString& stem : stems) {
        const Numbered n = numbered(stem);
        if (n.number < 0) continue;
        auto& entry = series[{n.before, n.after}];
        entry.first = std::max(entry.first, n.width);
        entry.second.append(n.number);
    }
    QStringList names;
    for (auto& [key, entry] : series) {
        QList<qint64>& numbers = entry.second;
        std::sort(numbers.begin(), numbers.end());
        if (numbers.last() - numbers.first() > 1000) continue;
        for (qsizetype i = 1; i < numbers.size(); ++i)
            for (qint64 k = numbers[i - 1] + 1; k < numbers[i]; ++k)
                names.append(key.first + QStringLiteral("%1").arg(k, entry.first, 10, QLatin1Char('0')) + key.second);
    }
    return names;
}

QString CameraSeen::line(const QDateTime& now) const
{
    QString text = QStringLiteral("Appareil ") + address + QStringLiteral(" — ") + countText(photoCount(), "photo", "photos");
    if (!lastName.isEmpty())
        text += QStringLiteral(" · dernière ") + QFileInfo(lastName).completeBaseName() + QLatin1Char(' ') +
                agoText(lastAt.secsTo(now));
    const QStringList gaps = missing();
    if (!gaps.isEmpty()) {
        text += QStringLiteral(" · ") + countText(gaps.size(), "manquante", "manquantes") + QStringLiteral(" : ");
        // A long list would not fit the panel: the first ones tell the photographer where to look.
        text += gaps.mid(0, 6).join(QStringLiteral(", "));
        if (gaps.size() > 6) text += QStringLiteral("…");
    }
    return text;
}

void CameraLog::add(const QString& address, const QString& fileName, const QDateTime& at)
{
    auto it = std::find_if(m_cameras.begin(), m_cameras.end(), [&](const CameraSeen& c) { return c.address == address; });
    if (it == m_cameras.end()) {
        m_cameras.append(CameraSeen{address, {}, {}, {}});
        it = m_cameras.end() - 1;
    }
    const QFileInfo info(fileName);
    it->stems.insert(info.completeBaseName());
    // Two photos are handled at once: the last one is the one that arrived last.
    if (!it->lastAt.isValid() || at >= it->lastAt) {
        it->lastName = info.fileName();
        it->lastAt = at;
    }
}

} // namespace tavrin
