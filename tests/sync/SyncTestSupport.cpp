#include "SyncTestSupport.h"

#include "TestSupport.h"
#include "library/LibrarySnapshot.h"

#include <QTest>

namespace tavrin::test {

void FakeDiscovery::publish(const QString& name, quint16, const QMap<QString, QString>& txt)
{
    publishedName = name;
    publishedTxt = txt;
    Q_EMIT published(name);
}

void FakeDiscovery::startBrowsing()
{
    browsing = true;
    ++browseStarts;
}

void FakeDiscovery::found(const QList<BrowseResult>& results)
{
    current = results;
    Q_EMIT resultsChanged(results);
}

void FakeDiscovery::browseAgain() { Q_EMIT resultsChanged(current); }

BrowseResult phoneAt(const QString& name, quint16 port, const QString& role)
{
    return {name,
            QMap<QString, QString>{{QStringLiteral("app"), QStringLiteral("TAVRIN")}, {QStringLiteral("role"), role}},
            SyncEndpoint{QHostAddress(QHostAddress::LocalHost), port, 0, SyncEndpoint::Interface::wifi}};
}

PeerProcess::PeerProcess(const QStringList& arguments)
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
        m_partial += m_process.readAllStandardOutput();
        qsizetype nl;
        while ((nl = m_partial.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_partial.left(nl));
            m_partial.remove(0, nl + 1);
            if (line.startsWith(QStringLiteral("port "))) m_port = quint16(line.mid(5).toUInt());
            m_lines.push_back(line);
        }
    });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(binDir() + QStringLiteral("/tavrin-peer"), arguments);
    waitFor(QStringLiteral("port "));
}

PeerProcess::~PeerProcess() { stop(); }

void PeerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

int PeerProcess::count(const QString& prefix) const
{
    return int(std::count_if(m_lines.begin(), m_lines.end(), [&](const QString& l) { return l.startsWith(prefix); }));
}

bool PeerProcess::waitFor(const QString& prefix, int wanted, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(prefix) >= wanted; }, timeoutMs);
}

QString writeLibraryFile(const QString& path, const QString& dayName, int rows)
{
    LibrarySnapshot lib = LibrarySnapshot::empty();
    const QDateTime t = lib.updatedAt;
    const DayRecord day{QUuid::createUuid(), dayName, t, 0};
    lib.days.push_back(day);
    SpreadsheetRecord sheet{QUuid::createUuid(), day.id, dayName + QStringLiteral(" · Épreuve"), t, t, true, {}};
    for (int i = 0; i < rows; ++i) sheet.rows.push_back({QUuid::createUuid(), QString::number(100 + i * 20), QString::number(i + 1)});
    lib.spreadsheets.push_back(sheet);
    writeFile(path, encodeLibrary(lib));
    return path;
}

QStringList dayNames(const LibrarySnapshot& library)
{
    QStringList names;
    for (const DayRecord& d : library.days) names.push_back(d.name);
    names.sort();
    return names;
}

} // namespace tavrin::test
