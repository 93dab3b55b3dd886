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

    // A queue whose description the dye-sub driver generates for MODEL; its stand-in printer
    // writes the driver's output to out/QUEUE.out. False (with `reason`) without the driver.
    bool addDriverQueue(const QString& name, const QString& model)
    {
        QProcess add;
        add.start(sourceDir() + "/scripts/private-cups.sh", {"add", dir.path(), name, model});
        add.waitForFinished(60000);
        reason = QString::fromUtf8(add.readAllStandardError()).trimmed();
        return add.exitStatus() == QProcess::NormalExit && add.exitCode() == 0;
    }
    // Supply lines the stand-in printer reports after each job, as the dye-sub backend does.
    void reportSupplies(const QByteArray& lines) { QFile f(dir.filePath("supplies")); f.open(QIODevice::WriteOnly); f.write(lines); }
    // Waits until the queue has no job left.
    bool waitForQueue(const QString& name)
    {
        QDeadlineTimer deadline(120000);
        while (!deadline.hasExpired()) {
            if (output("lpstat", {"-o", name}, env).trimmed().isEmpty()) return true;
            QThread::msleep(100);
        }
        return false;
    }
    // The document the server received for the job, kept in its spool.
    QString spooledDocument(int job) const { return dir.filePath(QStringLiteral("spool/d%1-001").arg(job, 5, 10, QChar(u'0'))); }

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
