#pragma once

// Helpers of the sync tests: a discovery the test controls, and tavrin-peer processes.

#include "library/LibrarySnapshot.h"
#include "sync/ServiceDiscovery.h"

#include <QProcess>
#include <QStringList>

namespace tavrin::test {

// Stands in for DNS-SD: the test decides what is found; publishing always succeeds.
class FakeDiscovery : public ServiceDiscovery {
    Q_OBJECT

public:
    void publish(const QString& name, quint16 port, const QMap<QString, QString>& txt) override;
    void startBrowsing() override;
    void stopBrowsing() override { browsing = false; }

    // Emits `results` as the current browse result set.
    void found(const QList<BrowseResult>& results);
    // What a new browse would report: the current set again.
    void browseAgain();

    QString publishedName;
    QMap<QString, QString> publishedTxt;
    QList<BrowseResult> current;
    int browseStarts = 0;
    bool browsing = false;
};

// A phone on loopback, found through the fake discovery at 127.0.0.1.
BrowseResult phoneAt(const QString& name, quint16 port, const QString& role = QStringLiteral("ios"));

// A tavrin-peer process; its output lines are collected as they come.
class PeerProcess {
public:
    explicit PeerProcess(const QStringList& arguments);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    quint16 port() const { return m_port; }
    // Waits (running the event loop) until `count` lines start with `prefix`.
    bool waitFor(const QString& prefix, int count = 1, int timeoutMs = 15000);
    int count(const QString& prefix) const;
    void stop();

private:
    QProcess m_process;
    QStringList m_lines;
    QByteArray m_partial;
    quint16 m_port = 0;
};

// A LibrarySnapshot JSON file with one day and one spreadsheet holding `rows` filled rows.
QString writeLibraryFile(const QString& path, const QString& dayName, int rows);
// The names of a library's days, sorted.
QStringList dayNames(const LibrarySnapshot& library);

} // namespace tavrin::test
