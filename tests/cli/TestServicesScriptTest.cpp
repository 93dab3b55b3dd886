// scripts/stop-test-services.sh on stand-in processes: it must stop what the start script
// recorded as launched, and nothing else, even when a recorded pid now runs another program.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

// A process whose command line starts with `name`, as the daemons' do.
std::unique_ptr<QProcess> standIn(const QString& name)
{
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("exec -a %1 sleep 120").arg(name)});
    process->waitForStarted();
    // Until exec ran, the command line is bash's.
    for (int i = 0; i < 100 && !test::readFile(QStringLiteral("/proc/%1/cmdline").arg(process->processId())).startsWith(name.toUtf8()); ++i)
        process->waitForFinished(20);
    return process;
}

int stopScript(const QString& state)
{
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVRIN_TEST_SERVICES_STATE"), state);
    script.setProcessEnvironment(env);
    script.start(test::sourceDir() + QStringLiteral("/scripts/stop-test-services.sh"), {});
    if (!script.waitForFinished(30000)) return -1;
    return script.exitCode();
}

} // namespace

TEST(TestServicesScript, StopsOnlyTheDaemonsItsStartRecorded)
{
    QTemporaryDir state;
    EXPECT_EQ(stopScript(state.path()), 0); // nothing was started

    const auto avahi = standIn(QStringLiteral("avahi-daemon"));
    const auto bus = standIn(QStringLiteral("dbus-daemon"));
    const auto recycled = standIn(QStringLiteral("sleep")); // a recorded pid now running something else
    const auto unrecorded = standIn(QStringLiteral("avahi-daemon"));
    test::writeFile(state.filePath(QStringLiteral("started")),
                    QStringLiteral("dbus-daemon %1\navahi-daemon %2\ndbus-daemon %3\n")
                        .arg(bus->processId())
                        .arg(avahi->processId())
                        .arg(recycled->processId())
                        .toUtf8());

    EXPECT_EQ(stopScript(state.path()), 0);
    EXPECT_TRUE(avahi->waitForFinished(5000));
    EXPECT_TRUE(bus->waitForFinished(5000));
    EXPECT_FALSE(recycled->waitForFinished(300));
    EXPECT_FALSE(unrecorded->waitForFinished(300));
    EXPECT_FALSE(QFile::exists(state.filePath(QStringLiteral("started"))));
    for (QProcess* process : {recycled.get(), unrecorded.get()}) {
        process->kill();
        process->waitForFinished();
    }
}
