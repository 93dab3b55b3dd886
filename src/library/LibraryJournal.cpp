#include "library/LibraryJournal.h"

#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

namespace tavrin::LibraryJournal {

namespace {

const QLatin1StringView kDays("days"), kSpreadsheets("spreadsheets"), kRemoved("removed"), kUpdatedAt("updatedAt");

// The writer indents; a journal entry must be one line. Strings never hold a raw line break, so
// every one is the writer's, and the spaces after it are indentation.
QByteArray oneLine(const QByteArray& indented)
{
    QByteArray out;
    out.reserve(indented.size());
    for (qsizetype i = 0; i < indented.size(); ++i) {
        if (indented[i] != '\n') {
            out.push_back(indented[i]);
            continue;
        }
        while (i + 1 < indented.size() && indented[i + 1] == ' ') ++i;
    }
    out.push_back('\n');
    return out;
}

} // namespace

QByteArray line(const LibrarySnapshot& from, const LibrarySnapshot& to, bool* expressible)
{
    if (expressible) *expressible = true;
    QHash<QUuid, qsizetype> before;
    before.reserve(from.spreadsheets.size());
    for (qsizetype i = 0; i < from.spreadsheets.size(); ++i) before.insert(from.spreadsheets[i].id, i);

    QList<const SpreadsheetRecord*> changed;
    QSet<QUuid> kept;
    qsizetype lastKept = -1;
    bool added = false;
    for (const SpreadsheetRecord& sheet : to.spreadsheets) {
        const auto it = before.constFind(sheet.id);
        if (it == before.constEnd()) {
            added = true;
            changed.push_back(&sheet);
            continue;
        }
        // A kept spreadsheet after a new one, or out of its order: replaying would misplace it.
        if (added || *it < lastKept || kept.contains(sheet.id)) {
            if (expressible) *expressible = false;
            return {};
        }
        lastKept = *it;
        kept.insert(sheet.id);
        if (!(sheet == from.spreadsheets[*it])) changed.push_back(&sheet);
    }
    QList<QUuid> removed;
    if (kept.size() != from.spreadsheets.size())
        for (const SpreadsheetRecord& sheet : from.spreadsheets)
            if (!kept.contains(sheet.id)) removed.push_back(sheet.id);
    const bool daysChanged = from.days != to.days;
    if (changed.isEmpty() && removed.isEmpty() && !daysChanged) return {};

    JsonWriter w;
    w.beginObject();
    if (daysChanged) w.array(kDays, to.days);
    if (!removed.isEmpty()) w.array(kRemoved, removed);
    if (!changed.isEmpty()) {
        w.key(kSpreadsheets);
        w.beginArray();
        for (const SpreadsheetRecord* sheet : changed) writeJson(w, *sheet);
        w.endArray();
    }
    w.field(kUpdatedAt, to.updatedAt);
    w.endObject();
    return oneLine(w.take());
}

int apply(LibrarySnapshot& library, const QByteArray& journal)
{
    int applied = 0;
    qsizetype start = 0;
    while (start < journal.size()) {
        const qsizetype end = journal.indexOf('\n', start);
        if (end < 0) break; // torn by a crash mid-append: never acknowledged, so never counted on
        const QByteArray entry = journal.mid(start, end - start);
        start = end + 1;
        QList<DayRecord> days;
        QList<SpreadsheetRecord> sheets;
        QList<QUuid> removed;
        QDateTime updatedAt;
        bool hasDays = false;
        try {
            const QJsonObject o = TavrinJSON::decodeObject(entry);
            if ((hasDays = o.contains(kDays)))
                for (const QJsonValue& v : o.value(kDays).toArray()) days.push_back(dayRecordFromJson(v.toObject()));
            for (const QJsonValue& v : o.value(kSpreadsheets).toArray())
                sheets.push_back(spreadsheetRecordFromJson(v.toObject()));
            for (const QJsonValue& v : o.value(kRemoved).toArray())
                if (const auto id = TavrinJSON::uuid(v.toString())) removed.push_back(*id);
            updatedAt = TavrinJSON::requireDate(o, kUpdatedAt);
        } catch (const std::exception&) {
            continue; // the rest of a torn append: every line holds whole records, the next ones stand alone
        }
        if (hasDays) library.days = std::move(days);
        if (!removed.isEmpty())
            library.spreadsheets.removeIf([&](const SpreadsheetRecord& s) { return removed.contains(s.id); });
        for (SpreadsheetRecord& sheet : sheets) {
            const auto it = std::find_if(library.spreadsheets.begin(), library.spreadsheets.end(),
                                         [&](const SpreadsheetRecord& s) { return s.id == sheet.id; });
            if (it != library.spreadsheets.end()) *it = std::move(sheet);
            else library.spreadsheets.push_back(std::move(sheet));
        }
        library.updatedAt = updatedAt;
        library.version = 1;
        ++applied;
    }
    return applied;
}

bool append(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // After a torn append, the new line starts on a line of its own.
    const off_t size = ::lseek(fd, 0, SEEK_END);
    char last = '\n';
    if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n' && ::write(fd, "\n", 1) != 1) {
        ::close(fd);
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) break;
        done += n;
    }
    const bool ok = done == bytes.size() && ::fdatasync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace tavrin::LibraryJournal
