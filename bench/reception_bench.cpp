// Two cameras sending 10 photos a second between them to the reception (FTP server, capture time,
// class folder, verified backup) for SECONDS: every photo must arrive, and the main thread, which
// the window shares with the typing, must never stall long. The baseline is the same probe of
// the main thread with nothing received, measured in the same run.
//   RECEPTION_SECONDS=300 RECEPTION_RATE=10 RECEPTION_KB=2000 reception_bench
#include "BenchMain.h"

#include "reception/FtpServer.h"
#include "reception/ReceptionSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdlib>

namespace {

using namespace tavrin;

int setting(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

// The longest lateness of a 5 ms timer on the main thread while `work` runs for `ms`.
qint64 worstStallMs(int ms, const std::function<void()>& work = {})
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last - 5);
        last = now;
    });
    probe.start();
    if (work) work();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return worst;
}

const char* sender = R"(
import ftplib, sys, time
source, port, count, rate, path, prefix = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), sys.argv[5], sys.argv[6]
data = open(path, 'rb').read()
f = ftplib.FTP(source_address=(source, 0))
f.connect('127.0.0.1', port)
f.login('tavrin', '4827')
start = time.time()
import io
for i in range(count):
    delay = start + i / rate - time.time()
    if delay > 0:
        time.sleep(delay)
    f.storbinary('STOR %s_%05d.JPG' % (prefix, i), io.BytesIO(data))
f.quit()
)";

void twoCameras(benchmark::State& state)
{
    const int seconds = setting("RECEPTION_SECONDS", 300), rate = setting("RECEPTION_RATE", 10), kb = setting("RECEPTION_KB", 2000);
    for (auto _ : state) {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tavrin-reception-bench-XXXXXX"));
        const QString folder = dir.filePath(QStringLiteral("Photos")), backup = dir.filePath(QStringLiteral("Sauvegarde")),
                      shot = dir.filePath(QStringLiteral("Vitesse")), photo = dir.filePath(QStringLiteral("photo.jpg"));
        for (const QString& path : {folder, backup, shot}) QDir().mkpath(path);
        // A JPEG of noise of about the asked size, ending as a camera's does.
        QProcess vips;
        const int side = int(std::sqrt(kb * 1024.0 * 2 / 1.5 / 1.1));
        vips.start(QStringLiteral("vips"), {QStringLiteral("gaussnoise"), photo + QStringLiteral("[Q=90]"), QString::number(side * 3 / 2), QString::number(side)});
        vips.waitForFinished(60000);

        const qint64 idle = worstStallMs(10000);

        ReceptionSession session(folder, backup);
        session.setClasses({{QDateTime::currentDateTimeUtc().addSecs(-60), QStringLiteral("Vitesse"), shot}});
        session.start();
        FtpServer server;
        QObject::connect(&server, &FtpServer::received, &session, &ReceptionSession::take);
        FtpSettings settings;
        settings.port = 0;
        settings.login = QStringLiteral("tavrin");
        settings.password = QStringLiteral("4827");
        server.start(folder, settings);
        const int perCamera = seconds * rate / 2;
        QProcess first, second;
        const qint64 busy = worstStallMs(seconds * 1000, [&] {
            for (auto [process, source, prefix] : {std::tuple{&first, "127.0.0.1", "DSC"}, std::tuple{&second, "127.0.0.2", "IMG"}})
                process->start(QStringLiteral("/usr/bin/python3"),
                               {QStringLiteral("-c"), QString::fromLatin1(sender), QString::fromLatin1(source), QString::number(server.port()),
                                QString::number(perCamera), QString::number(rate / 2.0), photo, QString::fromLatin1(prefix)});
        });
        // What is still on its way is let in.
        QElapsedTimer drain;
        drain.start();
        while ((first.state() != QProcess::NotRunning || second.state() != QProcess::NotRunning ||
                session.receivedCount() < 2 * perCamera || session.notBackedUpCount() > 0) &&
               drain.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        session.finish();
        state.counters["sent"] = 2 * perCamera;
        state.counters["received"] = double(session.receivedCount());
        state.counters["lost"] = double(2 * perCamera - session.receivedCount());
        state.counters["notBackedUp"] = double(session.notBackedUpCount());
        state.counters["inClass"] = double(QDir(shot).entryList(QDir::Files).size());
        state.counters["stallMs"] = double(busy);
        state.counters["idleStallMs_baseline"] = double(idle);
        state.counters["drainMs"] = double(drain.elapsed());
        state.counters["photoKB"] = double(QFileInfo(photo).size() / 1024);
        server.stop();
    }
}
BENCHMARK(twoCameras)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return tavrin::bench::runWithQt(argc, argv);
}
