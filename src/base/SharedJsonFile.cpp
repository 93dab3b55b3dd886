#include "base/SharedJsonFile.h"

#include "base/DataFileNotices.h"

#include <QDir>
#include <QFileInfo>

namespace tavrin {

void SharedJsonFileCore::follow(QObject* owner, std::function<void()> reload)
{
    if (std::exchange(m_follows, true)) return;
    // The folder must exist to be watched, before anything was ever written in it.
    QDir().mkpath(QFileInfo(path()).absolutePath());
    followFolderOf(path(), owner, std::move(reload));
}

bool SharedJsonFileCore::writeIfNew(const QByteArray& data)
{
    if (data == m_written && !m_file.holdsUnreadableFile()) return true;
    const bool written = m_file.write(data);
    if (written) m_written = data;
    else if (!m_failing) DataFileNotices::instance().post(DataFileNotices::notSavedMessage(path()));
    m_failing = !written;
    return written;
}

} // namespace tavrin
