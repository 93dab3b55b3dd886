#include "ui/SplitterMemory.h"

#include "base/UserDefaults.h"

#include <QSplitter>

namespace tavrin::SplitterMemory {

namespace {

QString fullKey(const QString& key) { return QStringLiteral("tavrin.splitter.") + key; }

} // namespace

void restore(QSplitter* splitter, const QString& key)
{
    const std::optional<QString> stored = UserDefaults::standard().string(fullKey(key));
    if (!stored) return;
    QList<int> sizes;
    for (const QString& part : stored->split(u',')) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size < 0) return;
        sizes.push_back(size);
    }
    // Sizes written for another arrangement of panes say nothing about this one.
    if (sizes.size() != splitter->count()) return;
    splitter->setSizes(sizes);
}

void remember(QSplitter* splitter, const QString& key)
{
    restore(splitter, key);
    QObject::connect(splitter, &QSplitter::splitterMoved, splitter, [splitter, key] {
        QStringList sizes;
        for (int size : splitter->sizes()) sizes.push_back(QString::number(size));
        UserDefaults::standard().setString(fullKey(key), sizes.join(u','));
    });
}

} // namespace tavrin::SplitterMemory
