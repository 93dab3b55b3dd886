#pragma once

// A small tmpfs mounted for a test, to meet a full or read-only disk for real; root only.

#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <unistd.h>

namespace tavrin::test {

struct SmallDisk {
    QTemporaryDir dir;
    bool mounted = false;
    QString reason;
    explicit SmallDisk(const char* options)
    {
        if (::geteuid() != 0) {
            reason = QStringLiteral("mounting a small file system needs root");
            return;
        }
        mounted = ::mount("tavrin-test", dir.path().toLocal8Bit().constData(), "tmpfs", 0, options) == 0;
        if (!mounted) reason = QStringLiteral("tmpfs cannot be mounted here: ") + QString::fromLocal8Bit(strerror(errno));
    }
    ~SmallDisk()
    {
        if (mounted) ::umount2(dir.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    // Read-only for everyone, root included.
    bool makeReadOnly()
    {
        return ::mount(nullptr, dir.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Mounted again with other options ("size=4m" to make room).
    bool resize(const char* options)
    {
        return ::mount(nullptr, dir.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT, options) == 0;
    }
    QString path() const { return dir.path(); }
};

} // namespace tavrin::test
