#pragma once

// Notices memory cards as they are mounted: the mount table (/proc/self/mountinfo) wakes us at
// every change, on any machine, with or without udisks2; a new mount point holding DCIM/ is a card.

#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

namespace tavrin {

class CardWatch : public QObject {
    Q_OBJECT

public:
    // `mountinfo`: the table to read (tests give their own file).
    explicit CardWatch(QString mountinfo = QStringLiteral("/proc/self/mountinfo"), QObject* parent = nullptr);
    ~CardWatch() override;

    // Cards mounted before the watch started are not offered: they were seen already or are
    // not the photographer's to import now.
    void start();
    // Reads the table now (also done at every change it signals, and every few seconds).
    void look();

    // Asks the desktop (udisks2) to unmount and power off the card; false with the reason in
    // `problem` where it cannot.
    static bool eject(const QString& mountPoint, QString* problem = nullptr);

Q_SIGNALS:
    void cardInserted(const QString& mountPoint);
    void cardRemoved(const QString& mountPoint);

private:
    QString m_path;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_poll;
    QSet<QString> m_mounted;
    QSet<QString> m_cards;
};

} // namespace tavrin
