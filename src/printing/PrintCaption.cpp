#include "printing/PrintCaption.h"

#include "base/FolderReference.h"
#include "base/UserDefaults.h"
#include "library/LibraryStore.h"
#include "numbers/AssignedNumber.h"
#include "organizer/WorkspaceStore.h"
#include "printing/PhotoPrinter.h"
#include "programme/TextFolding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace tavrin::PrintCaption {

CaptionStyle remembered()
{
    CaptionStyle style;
    const std::optional<QString> raw = UserDefaults::standard().string(captionKey);
    if (!raw) return style;
    const QJsonObject o = QJsonDocument::fromJson(raw->toUtf8()).object();
    style.shown = o.value(QStringLiteral("shown")).toBool(false);
    style.position = o.value(QStringLiteral("position")).toString() == u"over" ? CaptionPosition::over : CaptionPosition::under;
    style.points = std::clamp(o.value(QStringLiteral("points")).toDouble(style.points), minimumPoints, maximumPoints);
    return style;
}

void remember(const CaptionStyle& style)
{
    const QJsonObject o{{QStringLiteral("shown"), style.shown},
                        {QStringLiteral("position"), style.position == CaptionPosition::over ? QStringLiteral("over") : QStringLiteral("under")},
                        {QStringLiteral("points"), std::clamp(style.points, minimumPoints, maximumPoints)}};
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(captionKey, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    defaults.synchronize();
}

Placement place(QSizeF shown, const QRectF& cell, const CaptionStyle& style)
{
    Placement p;
    p.photo = PhotoPrinter::fittedRect(shown, cell);
    if (!style.shown || p.photo.isEmpty()) return p;
    p.points = std::clamp(style.points, minimumPoints, maximumPoints);
    const double line = p.points * 1.5;
    const bool under = style.position == CaptionPosition::under;
    const double room = under ? cell.bottom() - p.photo.bottom() : p.photo.top() - cell.top();
    if (room >= line) {
        const double y = under ? p.photo.bottom() : p.photo.top() - line;
        p.band = QRectF(cell.left(), y, cell.width(), line);
        return p;
    }
    // On the photo's edge: its outer sixth at most, so the centre third is never reached.
    const double band = std::min(line, p.photo.height() / 6);
    p.points = band / 1.5;
    p.onPhoto = true;
    p.band = QRectF(p.photo.left(), under ? p.photo.bottom() - band : p.photo.top(), p.photo.width(), band);
    return p;
}

Sources sourcesOf(const WorkspaceStore& workspace, const LibrarySnapshot& library)
{
    Sources sources;
    for (auto it = workspace.allSettings().begin(); it != workspace.allSettings().end(); ++it) {
        const SpreadsheetMacSettings& s = it.value();
        if (!s.destinationBookmark) continue;
        const std::optional<FolderReference::Resolution> folder = FolderReference::resolve(*s.destinationBookmark);
        if (!folder) continue;
        ClassInfo info;
        info.folder = folder->path;
        const std::optional<SpreadsheetRecord> sheet = library.spreadsheet(it.key());
        if (const std::optional<ProgrammeEvent> event = workspace.selectedEvent(it.key())) {
            info.title = event->title;
            info.people = event->people;
        } else if (s.customEventName && !s.customEventName->trimmed().isEmpty()) {
            info.title = s.customEventName->trimmed();
        } else if (sheet) {
            info.title = sheet->title.trimmed();
        }
        // Riders typed by hand replace the programme's for their number.
        for (auto manual = s.manualRiders.begin(); manual != s.manualRiders.end(); ++manual) {
            const ImportedPerson typed{manual.key(), manual->firstName.trimmed(), manual->lastName.trimmed(), 0};
            if (typed.formattedName().isEmpty()) continue;
            const auto same = std::find_if(info.people.begin(), info.people.end(), [&](const ImportedPerson& p) { return p.canonicalNumber == manual.key(); });
            if (same != info.people.end()) *same = typed;
            else info.people.push_back(typed);
        }
        const std::optional<DayRecord> day = sheet ? library.day(sheet->dayID) : std::nullopt;
        info.day = day ? day->name.trimmed() : s.selectedDayName.value_or(QString()).trimmed();
        sources.classes.push_back(info);
    }
    return sources;
}

namespace {
std::function<Sources()>& provider()
{
    static std::function<Sources()> instance;
    return instance;
}
} // namespace

void setSourcesProvider(std::function<Sources()> source) { provider() = std::move(source); }

Sources currentSources()
{
    if (provider()) return provider()();
    const LibraryStore library;
    const WorkspaceStore workspace;
    return sourcesOf(workspace, library.snapshot());
}

namespace {

struct OrderLine {
    QString rider;
    QString number;
};

// The order's note: « SECTION : FICHIER — DOSSIER DU CAVALIER (n° 12) » per photo; anything
// after the rider (a price) is ignored.
std::optional<OrderLine> orderLineOf(const QString& photo)
{
    const QFileInfo info(photo);
    const QDir section = info.dir();
    QFile note(QFileInfo(section.absolutePath()).dir().filePath(QStringLiteral("commande.txt")));
    if (!note.open(QIODevice::ReadOnly)) return std::nullopt;
    static const QRegularExpression line(QStringLiteral("^(.+?) : (.+?) — (.+?)(?: \\(n° ([^)]*)\\))?(?: — .*)?$"));
    std::optional<OrderLine> fallback;
    for (const QString& text : QString::fromUtf8(note.readAll()).split(u'\n')) {
        const QRegularExpressionMatch m = line.match(text.trimmed());
        if (!m.hasMatch() || m.captured(2).trimmed() != info.fileName()) continue;
        OrderLine found{m.captured(3).trimmed(), m.captured(4).trimmed()};
        if (m.captured(1).trimmed() == section.dirName()) return found;
        if (!fallback) fallback = found;
    }
    return fallback;
}

QString riderText(const ImportedPerson& person)
{
    QStringList parts;
    if (const QString last = TextFolding::frenchUpper(person.lastName.trimmed()); !last.isEmpty()) parts << last;
    if (const QString first = person.firstName.trimmed(); !first.isEmpty()) parts << first;
    return parts.join(u' ');
}

} // namespace

QString textFor(const QString& photo, const Sources& sources)
{
    const QFileInfo info(photo);
    const std::optional<OrderLine> order = orderLineOf(photo);
    const QString rider = order ? order->rider : info.dir().dirName();
    const std::optional<QString> number = order && !order->number.isEmpty() ? AssignedNumber::canonical(order->number) : std::nullopt;

    // The class whose folder holds this very photo in the rider's folder, else the only one that
    // has a folder of that rider.
    const ClassInfo* found = nullptr;
    QList<const ClassInfo*> candidates;
    for (const ClassInfo& c : sources.classes) {
        const QDir riderFolder(QDir(c.folder).filePath(rider));
        if (QFileInfo::exists(riderFolder.filePath(info.fileName()))) {
            found = &c;
            break;
        }
        if (riderFolder.exists()) candidates << &c;
    }
    if (!found && candidates.size() == 1) found = candidates.first();

    QStringList parts;
    const ImportedPerson* person = nullptr;
    if (found) {
        for (const ImportedPerson& p : found->people) {
            // Folders made by hand may lose the accents or the case.
            if (number ? p.canonicalNumber == *number : TextFolding::folded(p.folderName()) == TextFolding::folded(rider)) {
                person = &p;
                break;
            }
        }
    }
    const QString name = person ? riderText(*person) : QString();
    parts << (name.isEmpty() ? rider : name);
    if (person && !person->horseName.trimmed().isEmpty()) parts << person->horseName.trimmed();
    if (found) parts << found->title << found->day;
    parts.removeAll(QString());
    return parts.join(QStringLiteral(" · "));
}

QHash<QString, QString> textsFor(const QStringList& photos, const Sources& sources)
{
    QHash<QString, QString> texts;
    for (const QString& photo : photos)
        if (!texts.contains(photo)) texts.insert(photo, textFor(photo, sources));
    return texts;
}

} // namespace tavrin::PrintCaption
