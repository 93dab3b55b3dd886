#pragma once

// The cameras seen by the reception: per address, the photos received, the last one and the
// gaps in its numbering (a frame the camera numbered but never sent: a drop it did not resend).

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tavrin {

struct CameraSeen {
    QString address;
    // File stems received (a RAW and its JPEG are one photo).
    QSet<QString> stems;
    QString lastName; // file name without its folder
    QDateTime lastAt;

    qint64 photoCount() const { return stems.size(); }
    // The stems the camera numbered between its first and last photo and never sent, in order
    // (« DSC_1398 »). Numbering is read as the last run of digits, per name prefix.
    QStringList missing() const;
    // « Appareil 192.168.1.31 — 412 photos · dernière DSC_1412 il y a 3 s · 2 manquantes : DSC_1398, DSC_1399 ».
    QString line(const QDateTime& now) const;
};

class CameraLog {
public:
    void add(const QString& address, const QString& fileName, const QDateTime& at);
    // In the order the cameras were first seen.
    const QList<CameraSeen>& cameras() const { return m_cameras; }

private:
    QList<CameraSeen> m_cameras;
};

// « il y a 3 s », « il y a 2 min », « il y a 1 h ».
QString agoText(qint64 seconds);

} // namespace tavrin
