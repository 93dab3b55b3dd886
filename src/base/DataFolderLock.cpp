#include "base/DataFolderLock.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tavrin {

namespace {

constexpr int kPatienceMs = 10000;

struct Held {
    int fd = -1;
    int depth = 0;
};

// flock belongs to an open file description: a second open in this process would wait for
// the first, so nested holders count on the one descriptor.
QHash<QString, Held>& held()
{
    static QHash<QString, Held> table;
    return table;
}

} // namespace

DataFolderLock::DataFolderLock(const QString& folder) : m_folder(QDir(folder).absolutePath())
{
    Held& h = held()[m_folder];
    if (h.depth++ > 0) return;
    QDir().mkpath(m_folder);
    const QByteArray path = QFile::encodeName(m_folder + QStringLiteral("/tavrin.lock"));
    h.fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (h.fd < 0) return;
    // Writers hold the lock for one write. One stopped while holding it (a suspended
    // tavrin-cli) must not freeze the window for good: after a long wait it goes on unlocked.
    for (int waited = 0; ::flock(h.fd, LOCK_EX | LOCK_NB) != 0; waited += 5) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kPatienceMs) {
            ::close(h.fd);
            h.fd = -1;
            return;
        }
        ::usleep(5000);
    }
}

DataFolderLock::~DataFolderLock()
{
    if (m_folder.isEmpty()) return;
    auto it = held().find(m_folder);
    if (it == held().end() || --it->depth > 0) return;
    // Closing the descriptor releases the lock.
    if (it->fd >= 0) ::close(it->fd);
    held().erase(it);
}

bool DataFolderLock::isLocked() const
{
    const auto it = held().constFind(m_folder);
    return it != held().constEnd() && it->fd >= 0;
}

} // namespace tavrin
