// The workspace files of a data folder, read by the stores themselves: the first byte chooses
// workspace.json, programme.json or RiderFolders/settings.json, the rest is the file. A store
// must start from any file; when it read one, an edit rewrites it and a new store reads the same
// settings and history back.
#include "base/AppSupport.h"
#include "base/UserDefaults.h"
#include "organizer/RiderFoldersStore.h"
#include "organizer/WorkspaceStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavrin;

namespace {

QString dataFolder()
{
    static QTemporaryDir* dir = [] {
        // In memory when possible: every input is written to disk and read back.
        auto* d = QDir(QStringLiteral("/dev/shm")).exists() ? new QTemporaryDir(QStringLiteral("/dev/shm/tavrin-fuzz-XXXXXX"))
                                                            : new QTemporaryDir;
        AppSupport::setDataDirectoryOverride(d->path());
        UserDefaults::resetStandard();
        return d;
    }();
    return dir->path();
}

void write(const QString& path, const char* data, size_t size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(data, qint64(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const QString folder = dataFolder();
    // Files set aside by the previous input would pile up.
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) QFile::remove(folder + u'/' + name);
    QDir(AppSupport::riderFoldersFolder()).removeRecursively();

    const char* file = reinterpret_cast<const char*>(data + 1);
    switch (data[0] % 3) {
    case 0: {
        write(folder + QStringLiteral("/workspace.json"), file, size - 1);
        WorkspaceStore store;
        for (auto it = store.allSettings().cbegin(); it != store.allSettings().cend(); ++it) {
            store.selectedEvent(it.key());
            store.events(it->selectedDayName);
        }
        store.historySections();
        if (store.allSettings().isEmpty()) break;
        const QUuid first = store.allSettings().firstKey();
        store.setCompleted(!store.settings(first).isCompleted, first);
        const WorkspaceStore reread;
        if (!(reread.allSettings() == store.allSettings()) || !(reread.actionHistory() == store.actionHistory())) std::abort();
        break;
    }
    case 1: {
        write(folder + QStringLiteral("/programme.json"), file, size - 1);
        WorkspaceStore store;
        if (store.programme()) store.events(std::nullopt);
        break;
    }
    default: {
        write(AppSupport::riderFoldersFolder() + QStringLiteral("/settings.json"), file, size - 1);
        RiderFoldersStore store;
        store.people();
        store.namedPeople();
        break;
    }
    }
    return 0;
}
