#pragma once

// A private print server with a PDF queue, started by scripts/private-cups.sh for one test.

#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace tavrin::test {

inline QString output(const QString& program, const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// The print server of scripts/private-cups.sh, started for the test and stopped after it.
class PrivateCups {
public:
    PrivateCups()
    {
        QProcess start;
        start.start(sourceDir() + "/scripts/private-cups.sh", {"start", dir.path(), queue});
        start.waitForFinished(60000);
        if (start.exitStatus() != QProcess::NormalExit || start.exitCode() != 0) {
            reason = QString::fromUtf8(start.readAllStandardError()).trimmed();
            if (reason.isEmpty()) reason = "the private print server did not start";
            return;
        }
        env = QProcessEnvironment::systemEnvironment();
        env.insert("CUPS_SERVER", QString::fromUtf8(start.readAllStandardOutput()).trimmed());
        jobFile = dir.filePath("out/job.pdf");
        running = true;
    }
    ~PrivateCups() { QProcess::execute(sourceDir() + "/scripts/private-cups.sh", {"stop", dir.path()}); }

    // Waits until the queue is empty and the job's file is written.
    bool waitForJob()
    {
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            if (QFile::exists(jobFile) && output("lpstat", {"-o", queue}, env).trimmed().isEmpty()) return true;
            QThread::msleep(100);
        }
        return false;
    }

    QTemporaryDir dir;
    const QString queue = "TavrinTest";
    QProcessEnvironment env;
    QString jobFile, reason;
    bool running = false;
};

} // namespace tavrin::test
