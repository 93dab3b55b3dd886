#include "orders/OrdersScreenModel.h"

#include "orders/OpenWithApps.h"
#include "numbers/PathText.h"
#include "numbers/PhotoNumber.h"

#include <QStringList>

#include <algorithm>

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

QString OrdersScreen::galleryLayoutKey() { return QStringLiteral("ordersGalleryLayout"); }

QString OrdersScreen::rawValue(OrdersGalleryLayout layout)
{
    switch (layout) {
    case OrdersGalleryLayout::list: return QStringLiteral("list");
    case OrdersGalleryLayout::grid: return QStringLiteral("grid");
    case OrdersGalleryLayout::sections: break;
    }
    return QStringLiteral("sections");
}

OrdersGalleryLayout OrdersScreen::galleryLayout(const QString& raw)
{
    if (raw == u"list") return OrdersGalleryLayout::list;
    if (raw == u"grid") return OrdersGalleryLayout::grid;
    return OrdersGalleryLayout::sections;
}

QString OrdersScreen::noMediaText() { return QStringLiteral("Aucune photo ni vidéo"); }

QList<OrdersScreen::GalleryRow> OrdersScreen::galleryRows(const QList<OrderSection>& sections, OrdersGalleryLayout layout)
{
    using Kind = GalleryRow::Kind;
    QList<GalleryRow> rows;
    if (layout != OrdersGalleryLayout::sections) {
        for (int s = 0; s < sections.size(); ++s)
            for (const OrderMedia& file : sections[s].files) rows.push_back(GalleryRow{Kind::media, s, file, {}});
        if (rows.isEmpty()) rows.push_back(GalleryRow{Kind::empty, -1, std::nullopt, noMediaText()});
        return rows;
    }
    for (int s = 0; s < sections.size(); ++s) {
        rows.push_back(GalleryRow{Kind::sectionHeader, s, std::nullopt, sections[s].name});
        if (sections[s].files.isEmpty()) rows.push_back(GalleryRow{Kind::empty, s, std::nullopt, noMediaText()});
        for (const OrderGalleryItem& item : galleryItems(sections[s])) {
            if (item.isSeparator()) rows.push_back(GalleryRow{Kind::separator, s, std::nullopt, separatorLabel()});
            else rows.push_back(GalleryRow{Kind::media, s, item.media, {}});
        }
    }
    return rows;
}

OrdersScreen::Detail OrdersScreen::detail(const OrdersStore& store)
{
    if (!store.rootName()) return Detail::noRoot;
    const auto& selected = store.selectedFolderID();
    const bool listed = selected && std::any_of(store.folders().begin(), store.folders().end(),
                                                [&](const OrderFolder& folder) { return folder.url == *selected; });
    if (!listed) return Detail::noOrderSelected;
    return store.sections().isEmpty() ? Detail::noSections : Detail::gallery;
}

std::optional<QString> OrdersScreen::orderListEmptyText(const std::optional<QString>& rootName,
                                                        const QList<OrderFolder>& folders, const QString& query)
{
    if (!rootName) return QStringLiteral("Choisissez d’abord le dossier d’où extraire les données.");
    if (folders.isEmpty()) return QStringLiteral("Aucun dossier dans « ") + *rootName + QStringLiteral(" ».");
    if (filteredFolders(folders, query).isEmpty())
        return QStringLiteral("Aucune commande ne correspond à « ") + query.trimmed() + QStringLiteral(" ».");
    return std::nullopt;
}

QStringList OrdersScreen::paths(const QList<OrderMedia>& files)
{
    QStringList out;
    out.reserve(files.size());
    for (const OrderMedia& file : files) out.push_back(file.url);
    return out;
}

QStringList OrdersScreen::doubleClickTargets(const QList<OrderMedia>& selected, const OrderMedia& clicked)
{
    return selected.contains(clicked) ? paths(selected) : QStringList{clicked.url};
}

QString OrdersScreen::deliveredHelp(bool compact)
{
    return compact ? QStringLiteral("Transféré ou imprimé") : QStringLiteral("Transféré par QR code ou imprimé");
}

bool OrdersScreen::showsBatchProgress(int total) { return total > quietBatchLimit; }

namespace {

const QString retouchFirst = QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche");

OrdersScreen::Action action(OrdersScreen::Action::Kind kind, const QString& text, bool enabled = true, const QString& help = {})
{
    return {kind, text, enabled, help};
}

} // namespace

QList<OrdersScreen::Action> OrdersScreen::mediaActions(const OrderMedia& media, const ActionContext& context)
{
    using Kind = Action::Kind;
    QList<Action> actions;
    if (!media.isVideo) {
        if (context.canCrop) actions.push_back(action(Kind::crop, QStringLiteral("Recadrer")));
        actions.push_back(action(Kind::retouch, QStringLiteral("Appliquer les réglages de retouche"), !context.retouchNeutral,
                           context.retouchNeutral ? retouchFirst : QString()));
        actions.push_back(action(Kind::watermark, QStringLiteral("Ajouter le filigrane sélectionné")));
    }
    if (context.canPrint) actions.push_back(action(Kind::print, QStringLiteral("Imprimer en pleine résolution")));
    if (!media.isVideo) actions.push_back(action(Kind::undo, QStringLiteral("Annuler les modifications"), context.canUndo));
    actions.push_back(action(Kind::handOver, QStringLiteral("Partager par QR code")));
    actions.push_back(action(Kind::openWith, QStringLiteral("Ouvrir avec")));
    actions.push_back(action(Kind::chooseApplication, QStringLiteral("Choisir une application…")));
    return actions;
}

QList<OrdersScreen::Action> OrdersScreen::sectionActions(const ActionContext& context)
{
    using Kind = Action::Kind;
    QList<Action> actions;
    const bool retouchBlocked = context.retouchNeutral || context.batchRunning;
    actions.push_back(action(Kind::retouch, QStringLiteral("Appliquer les réglages de retouche à toutes les photos de cette section"),
                       !retouchBlocked, retouchBlocked ? retouchFirst : QString()));
    actions.push_back(action(Kind::watermark, QStringLiteral("Ajouter le filigrane sélectionné à toutes les photos de cette section"),
                       context.watermarkSelected && !context.batchRunning,
                       context.watermarkSelected ? QString() : QStringLiteral("Choisissez d’abord un fichier filigrane")));
    if (context.canPrint)
        actions.push_back(action(Kind::print, QStringLiteral("Imprimer toutes les photos de cette section en pleine résolution")));
    return actions;
}

OrdersScreen::ActionContext OrdersScreen::actionContext(const OrdersStore& store)
{
    ActionContext context;
    context.retouchNeutral = store.retouch().isNeutral();
    context.batchRunning = store.isBatchRunning();
    context.watermarkSelected = store.selectedWatermarkID().has_value() && !store.watermarks().isEmpty();
    return context;
}

bool OrdersScreen::rememberOpenWith(OrdersStore& store, const QString& appPath, const QStringList& files)
{
    QMap<QString, QString> remembered = store.openWithApps();
    if (!OpenWithApps::rememberOpenWith(remembered, appPath, files)) return false;
    for (auto it = remembered.cbegin(); it != remembered.cend(); ++it)
        if (store.openWithApps().value(it.key()) != it.value()) store.setOpenWithApp(it.key(), it.value());
    return true;
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
