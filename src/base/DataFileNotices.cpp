#include "base/DataFileNotices.h"

#include <QFileInfo>

namespace tavrin {

DataFileNotices& DataFileNotices::instance()
{
    static DataFileNotices notices;
    return notices;
}

void DataFileNotices::post(const QString& message)
{
    m_pending.push_back(message);
    Q_EMIT posted();
}

QStringList DataFileNotices::takePending() { return std::exchange(m_pending, {}); }

QString DataFileNotices::setAsideMessage(const QString& original, const QString& target, bool tooLarge)
{
    const QString reason = tooLarge ? QStringLiteral("était trop volumineux pour être lu")
                                    : QStringLiteral("était illisible");
    return QStringLiteral("Le fichier de données « %1 » %2 ; il a été mis de côté sous le nom « %3 », "
                          "dans le dossier %4.")
        .arg(QFileInfo(original).fileName(), reason, QFileInfo(target).fileName(), QFileInfo(target).absolutePath());
}

QString DataFileNotices::notSavedMessage(const QString& path)
{
    return QStringLiteral("Le fichier de données « %1 » n’a pas pu être enregistré dans le dossier %2 ; "
                          "Tavrin essaiera de nouveau à la prochaine modification.")
        .arg(QFileInfo(path).fileName(), QFileInfo(path).absolutePath());
}

} // namespace tavrin
