#include "organizer/SpreadsheetWorkspaceModel.h"

// The preview rows of the workspace: names, photo ranges and marks, the summary and issue lines.

#include "numbers/AssignedNumber.h"
#include "numbers/PathText.h"
#include "organizer/SpreadsheetWorkspaceShared.h"
#include "programme/TextFolding.h"

#include <algorithm>

namespace tavrin {

namespace {

using workspace_detail::filesLabel;
using workspace_detail::kChooseEvent;
using workspace_detail::plural;

// The keys found on two rows or more (sorted rather than hashed: most rows hold distinct keys).
QSet<QString> repeated(const std::vector<SpreadsheetWorkspaceModel::RowKeys>& keys,
                       std::optional<QString> SpreadsheetWorkspaceModel::RowKeys::*key)
{
    std::vector<const QString*> present;
    present.reserve(keys.size());
    for (const SpreadsheetWorkspaceModel::RowKeys& k : keys)
        if (k.*key) present.push_back(&*(k.*key));
    std::sort(present.begin(), present.end(), [](const QString* a, const QString* b) { return *a < *b; });
    QSet<QString> twice;
    for (size_t i = 1; i < present.size(); ++i)
        if (*present[i] == *present[i - 1]) twice.insert(*present[i]);
    return twice;
}

// The rows behind the issue count, the help and the summary line.
struct RowCounts {
    qsizetype named = 0, unnamed = 0, duplicated = 0;
    explicit RowCounts(const QList<PreviewRow>& rows)
    {
        for (const PreviewRow& r : rows) {
            if (!r.isBlank) ++(r.hasName ? named : unnamed);
            if (r.duplicateAssigned || r.duplicatePhoto) ++duplicated;
        }
    }
};

// Names shown upper-cased the French way; ASCII names, most of them, need no case tables.
QString upperName(const QString& name)
{
    QString upper = name.trimmed();
    for (QChar& c : upper) {
        const char16_t u = c.unicode();
        if (u >= 0x80) return TextFolding::frenchUpper(name.trimmed());
        if (u >= u'a' && u <= u'z') c = QChar(char16_t(u - 32));
    }
    return upper;
}

} // namespace

QList<StatusMark> statusMarks(const PreviewRow& row)
{
    QList<StatusMark> marks;
    if (!row.isBlank && !row.hasName)
        marks.push_back({StatusMark::Tone::red, QStringLiteral("person.crop.circle.badge.questionmark"),
                         QStringLiteral("Pas de correspondance dans le programme")});
    if (row.duplicateAssigned || row.duplicatePhoto) {
        const QString text = row.duplicateAssigned && row.duplicatePhoto ? QStringLiteral("N° attribué et n° photo en doublon")
            : row.duplicateAssigned                                    ? QStringLiteral("N° attribué en doublon")
                                                                       : QStringLiteral("N° photo en doublon");
        marks.push_back({StatusMark::Tone::orange, QStringLiteral("square.on.square"), text});
    }
    if (!row.copyFailure.isEmpty())
        marks.push_back({StatusMark::Tone::red, QStringLiteral("exclamationmark.triangle.fill"), row.copyFailure});
    else if (!row.isBlank && row.hasName && !row.duplicateAssigned && !row.duplicatePhoto && row.filesTransferred)
        marks.push_back({StatusMark::Tone::green, QStringLiteral("checkmark.circle.fill"),
                         QStringLiteral("Ligne complète, photos transférées")});
    return marks;
}

struct SpreadsheetWorkspaceModel::PreviewContext {
    SpreadsheetMacSettings settings;
    std::optional<ProgrammeEvent> event;
    // Canonical number → index in the event's people (the first one wins).
    QHash<QString, qsizetype> catalogue;
    std::vector<RowKeys> keys;
    QSet<QString> duplicateAssigned;
    QSet<QString> duplicatePhotos;
};

std::optional<QString> SpreadsheetWorkspaceModel::photoKey(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    if (const std::optional<PhotoNumber> number = PhotoNumber::parse(trimmed))
        return number->prefix.toLower() + u'|' + QString::number(number->value);
    return trimmed.toLower();
}

std::vector<SpreadsheetWorkspaceModel::RowKeys> SpreadsheetWorkspaceModel::rowKeys(const QList<RowRecord>& rows) const
{
    // Every keystroke previews every row again while at most one changed: each row's keys are
    // kept with the texts they came from (and forgotten when rows pile up).
    if (m_rowMemo.size() > 2 * rows.size() + 64) m_rowMemo.clear();
    std::vector<RowKeys> keys;
    keys.reserve(size_t(rows.size()));
    for (const RowRecord& row : rows) {
        auto it = m_rowMemo.find(row.id);
        if (it == m_rowMemo.end() || it->photo != row.photoNumber || it->assigned != row.assignedNumber)
            it = m_rowMemo.insert(row.id, {row.photoNumber, row.assignedNumber,
                                           {AssignedNumber::canonical(row.assignedNumber), photoKey(row.photoNumber)}});
        keys.push_back(it->keys);
    }
    return keys;
}

SpreadsheetWorkspaceModel::PreviewContext SpreadsheetWorkspaceModel::previewContext(const SpreadsheetRecord& sheet) const
{
    PreviewContext context{m_workspace.settings(sheet.id), m_workspace.selectedEvent(sheet.id), {}, rowKeys(sheet.rows), {}, {}};
    context.duplicateAssigned = repeated(context.keys, &RowKeys::canonical);
    context.duplicatePhotos = repeated(context.keys, &RowKeys::photoKey);
    if (context.event) {
        // The event's index by number lasts as long as the programme.
        if (m_catalogueEventID != context.event->id) {
            m_catalogue.clear();
            m_catalogue.reserve(context.event->people.size());
            for (qsizetype i = 0; i < context.event->people.size(); ++i)
                if (!m_catalogue.contains(context.event->people[i].canonicalNumber))
                    m_catalogue.insert(context.event->people[i].canonicalNumber, i);
            m_catalogueEventID = context.event->id;
        }
        context.catalogue = m_catalogue;
    }
    return context;
}

PreviewRow SpreadsheetWorkspaceModel::previewRow(const RowRecord& row, qsizetype index, const PreviewContext& context) const
{
    const RowKeys& keys = context.keys[size_t(index)];
    const auto groupIt = m_groupIndex.constFind(row.id);
    const PhotoGroup* group = groupIt == m_groupIndex.constEnd() ? nullptr : &m_groups[*groupIt];
    std::optional<ImportedPerson> catalogue;
    if (group && group->person) catalogue = group->person;
    else if (keys.canonical && context.event)
        if (const auto it = context.catalogue.constFind(*keys.canonical); it != context.catalogue.constEnd())
            catalogue = context.event->people[*it];
    const std::optional<ImportedPerson> resolved = WorkspaceStore::resolvedPerson(context.settings, keys.canonical, catalogue);

    PreviewRow preview;
    preview.id = row.id;
    preview.photo = row.photoNumber;
    preview.assigned = row.assignedNumber;

    const auto remembered = context.settings.rememberedTransfers.constFind(row.id);
    const bool hasRemembered = remembered != context.settings.rememberedTransfers.constEnd();
    if (group && !group->files.isEmpty()) preview.photos = m_groupLabels[*groupIt];
    else if (hasRemembered)
        preview.photos = remembered->fileNames.isEmpty() ? QStringLiteral("—")
                                                         : filesLabel(remembered->fileNames.size(), remembered->rangeLabel, false);
    else if (group) preview.photos = QStringLiteral("0 fichier");
    else preview.photos = QStringLiteral("—");

    // A hand-typed name shows as typed; a programme name upper-cased; nothing for a row the
    // programme does not know.
    const ManualRiderName manual = keys.canonical ? context.settings.manualRiders.value(*keys.canonical) : ManualRiderName{};
    const auto displayed = [&](const QString& typed, const QString& fromPerson) -> QString {
        if (!typed.isEmpty()) return typed;
        if (!catalogue || !resolved) return QString();
        return upperName(fromPerson);
    };
    preview.lastName = displayed(manual.lastName, resolved ? resolved->lastName : QString());
    preview.firstName = displayed(manual.firstName, resolved ? resolved->firstName : QString());

    preview.fromCatalogue = catalogue.has_value();
    preview.hasName = resolved.has_value();
    preview.isBlank = row.isBlank();
    preview.duplicateAssigned = keys.canonical && context.duplicateAssigned.contains(*keys.canonical);
    preview.duplicatePhoto = keys.photoKey && context.duplicatePhotos.contains(*keys.photoKey);
    preview.filesTransferred = hasRemembered && !remembered->fileNames.isEmpty();
    // Green only while the row's photos are those copied: a corrected row gains or loses some.
    if (preview.filesTransferred && group && !group->files.isEmpty()) {
        QSet<QString> copied;
        copied.reserve(remembered->fileNames.size());
        for (const QJsonValueConstRef name : remembered->fileNames) copied.insert(name.toString());
        preview.filesTransferred = copied.size() == group->files.size()
            && std::all_of(group->files.begin(), group->files.end(),
                           [&](const QString& file) { return copied.contains(PathText::lastPathComponent(file).toString()); });
    }
    preview.copyFailure = m_copyFailures.value(row.id);
    return preview;
}

QList<PreviewRow> SpreadsheetWorkspaceModel::rowsForTable() const
{
    const std::optional<SpreadsheetRecord> sheet = spreadsheet();
    if (!sheet) return {};
    const PreviewContext context = previewContext(*sheet);
    QList<PreviewRow> rows;
    rows.reserve(sheet->rows.size());
    for (qsizetype i = 0; i < sheet->rows.size(); ++i) rows.push_back(previewRow(sheet->rows[i], i, context));
    return rows;
}

const PreviewRow* SpreadsheetWorkspaceModel::preview(const QUuid& rowID) const
{
    const auto it = m_previewIndex.constFind(rowID);
    return it == m_previewIndex.constEnd() ? nullptr : &m_previews[*it];
}

void SpreadsheetWorkspaceModel::refreshPreviews()
{
    const QList<PreviewRow> before = std::exchange(m_previews, rowsForTable());
    const QHash<QUuid, qsizetype> beforeIndex = std::exchange(m_previewIndex, {});
    m_previewIndex.reserve(m_previews.size());
    m_changedPreviews.clear();
    for (qsizetype i = 0; i < m_previews.size(); ++i) {
        const PreviewRow& preview = m_previews[i];
        m_previewIndex.insert(preview.id, i);
        const auto was = beforeIndex.constFind(preview.id);
        if (was == beforeIndex.constEnd() || before[*was] != preview) m_changedPreviews.insert(preview.id);
    }
    Q_EMIT previewsChanged();
}

int SpreadsheetWorkspaceModel::issueCount(const QList<PreviewRow>& rows)
{
    return int(std::count_if(rows.begin(), rows.end(), [](const PreviewRow& r) {
        return !r.isBlank && (!r.hasName || r.duplicateAssigned || r.duplicatePhoto);
    }));
}

QString SpreadsheetWorkspaceModel::issueHelp(const QList<PreviewRow>& rows)
{
    const int count = issueCount(rows);
    const RowCounts counts(rows);
    QString help = QString::number(count) + QStringLiteral(" erreur") + plural(count > 1);
    QStringList parts;
    if (counts.unnamed > 0) parts.push_back(QString::number(counts.unnamed) + QStringLiteral(" sans correspondance"));
    if (counts.duplicated > 0)
        parts.push_back(QString::number(counts.duplicated) + QStringLiteral(" numéro") + plural(counts.duplicated != 1)
                        + QStringLiteral(" en doublon"));
    if (!parts.isEmpty()) help += QStringLiteral(" : ") + parts.join(QStringLiteral(", "));
    return help;
}

QString SpreadsheetWorkspaceModel::summaryLine(const QList<PreviewRow>& rows) const
{
    if (!m_workspace.programme())
        return QStringLiteral("Importez le programme (fichier ou page internet), puis choisissez le jour et l’épreuve.");
    const std::optional<ProgrammeEvent> event = m_spreadsheetID ? m_workspace.selectedEvent(*m_spreadsheetID) : std::nullopt;
    if (!event) return kChooseEvent;
    const qsizetype riders = event->people.size();
    const RowCounts counts(rows);
    QString line = QString::number(riders) + QStringLiteral(" cavalier") + plural(riders >= 2) + QStringLiteral(" dans l’épreuve · ")
        + QString::number(counts.named) + QStringLiteral(" correspondance") + plural(counts.named >= 2);
    if (counts.unnamed > 0) line += QStringLiteral(" · ") + QString::number(counts.unnamed) + QStringLiteral(" sans nom");
    if (counts.duplicated > 0)
        line += QStringLiteral(" · ") + QString::number(counts.duplicated) + QStringLiteral(" doublon") + plural(counts.duplicated != 1);
    return line;
}

std::optional<QString> SpreadsheetWorkspaceModel::selectedEventTitle() const
{
    if (!m_spreadsheetID) return std::nullopt;
    if (const std::optional<ProgrammeEvent> event = m_workspace.selectedEvent(*m_spreadsheetID)) return event->title;
    const std::optional<QString> stored = settings().selectedEventID;
    if (!stored) return std::nullopt;
    const QStringList parts = stored->split(u'|', Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.last();
}

} // namespace tavrin
