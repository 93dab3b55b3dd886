#include "orders/OrdersScreenModel.h"

#include "organizer/PathText.h"
#include "organizer/PhotoNumber.h"

#include <QStringList>

namespace tavrin {

namespace {

// Case and accents folded away, as a file browser's search does.
QString folded(const QString& text)
{
    QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out.push_back(c);
    return out.toCaseFolded();
}

QString counted(qsizetype count, const QString& word)
{
    return QString::number(count) + u' ' + word + (count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

QString OrdersScreen::separatorLabel() { return QStringLiteral("Saut de numéros"); }

QList<OrderGalleryItem> OrdersScreen::galleryItems(const OrderSection& section)
{
    QList<OrderGalleryItem> items;
    items.reserve(section.files.size());
    const OrderMedia* previous = nullptr;
    for (const OrderMedia& file : section.files) {
        if (previous && !previous->isVideo && !file.isVideo) {
            const auto a = PhotoNumber::parse(PathText::lastPathComponent(previous->url));
            const auto b = PhotoNumber::parse(PathText::lastPathComponent(file.url));
            if (a && b && std::abs(b->value - a->value) >= separatorGap)
                items.push_back({std::nullopt, previous->url + file.url});
        }
        items.push_back({file, {}});
        previous = &file;
    }
    return items;
}

QString OrdersScreen::summaryLine(const QList<OrderSection>& sections)
{
    qsizetype types = 0, files = 0;
    for (const OrderSection& section : sections) {
        if (section.name != OrdersStore::topLevelSectionName()) ++types;
        files += section.files.size();
    }
    QStringList parts;
    if (types > 0) parts.push_back(counted(types, QStringLiteral("type")));
    if (files > 0) parts.push_back(counted(files, QStringLiteral("fichier")));
    return parts.isEmpty() ? QStringLiteral("Aucun contenu exploitable") : parts.join(QStringLiteral(" · "));
}

QString OrdersScreen::selectionSummary(qsizetype count)
{
    if (count == 0) return QStringLiteral("Aucun fichier sélectionné");
    const QString s = count == 1 ? QString() : QStringLiteral("s");
    return QString::number(count) + QStringLiteral(" fichier") + s + QStringLiteral(" sélectionné") + s;
}

QList<OrderFolder> OrdersScreen::filteredFolders(const QList<OrderFolder>& folders, const QString& query)
{
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) return folders;
    const QString needle = folded(trimmed);
    QList<OrderFolder> out;
    for (const OrderFolder& folder : folders)
        if (folded(folder.name).contains(needle)) out.push_back(folder);
    return out;
}

QList<OrderMedia> OrdersScreen::allFiles(const QList<OrderSection>& sections)
{
    QList<OrderMedia> out;
    for (const OrderSection& section : sections) out.append(section.files);
    return out;
}

OrdersSelection::Outcome OrdersSelection::handleClick(const QList<OrderMedia>& allFiles, const OrderMedia& media,
                                                      Modifiers modifiers, bool cropEditorOpen)
{
    if (cropEditorOpen && !media.isVideo && !modifiers.shift && !modifiers.command) return Outcome::openCrop;
    if (modifiers.shift && m_lastClickedID) {
        selectRange(allFiles, *m_lastClickedID, media);
        return Outcome::selectionChanged;
    }
    if (modifiers.command) {
        if (!m_selectedIDs.remove(media.id())) m_selectedIDs.insert(media.id());
    } else {
        m_selectedIDs = {media.id()};
    }
    m_lastClickedID = media.id();
    return Outcome::selectionChanged;
}

void OrdersSelection::selectRange(const QList<OrderMedia>& allFiles, const QString& anchor, const OrderMedia& media)
{
    qsizetype from = -1, to = -1;
    for (qsizetype i = 0; i < allFiles.size(); ++i) {
        if (allFiles[i].id() == anchor) from = i;
        if (allFiles[i].id() == media.id()) to = i;
    }
    if (from < 0 || to < 0) {
        m_selectedIDs = {media.id()};
    } else {
        m_selectedIDs.clear();
        for (qsizetype i = std::min(from, to); i <= std::max(from, to); ++i) m_selectedIDs.insert(allFiles[i].id());
    }
    m_lastClickedID = media.id();
}

void OrdersSelection::selectAll(const QList<OrderMedia>& allFiles)
{
    m_selectedIDs.clear();
    for (const OrderMedia& file : allFiles) m_selectedIDs.insert(file.id());
}

QList<OrderMedia> OrdersSelection::selectedMedia(const QList<OrderMedia>& allFiles) const
{
    QList<OrderMedia> out;
    for (const OrderMedia& file : allFiles)
        if (m_selectedIDs.contains(file.id())) out.push_back(file);
    return out;
}

} // namespace tavrin
