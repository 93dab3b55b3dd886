#include "programme/ProgrammeBrowserModel.h"

#include "programme/ImportError.h"
#include "programme/WebProgrammeParser.h"

#include <QPointer>

namespace tavrin {

namespace {
const QString kOpenContest = QStringLiteral("Ouvrez un concours, puis importez le programme.");
}

ProgrammeBrowserModel::ProgrammeBrowserModel(QObject* parent, std::chrono::milliseconds timeout)
    : QObject(parent), m_importer(nullptr, timeout), m_status(kOpenContest), m_favorites(ProgrammeFavorites::load())
{
}

ProgrammeBrowserModel::~ProgrammeBrowserModel() { attach(nullptr); }

void ProgrammeBrowserModel::setURLString(const QString& text)
{
    if (text == m_urlString) return;
    m_urlString = text;
    Q_EMIT changed();
}

QString ProgrammeBrowserModel::contestImportTitle() const
{
    return m_snapshot.kind == WebProgrammeSnapshot::Kind::contest ? QStringLiteral("Importer tout le concours")
                                                                  : QStringLiteral("Importer le concours");
}

void ProgrammeBrowserModel::attach(WebProgrammePage* page)
{
    if (m_page) {
        m_page->navigationStarted = nullptr;
        m_page->navigationFinished = nullptr;
    }
    m_page = page;
    ++m_pageGeneration;
    if (!page) return;
    page->navigationStarted = [this] { navigationStarted(); };
    page->navigationFinished = [this](bool succeeded) { navigationFinished(succeeded); };
    if (m_pendingURL) {
        const QUrl url = *std::exchange(m_pendingURL, std::nullopt);
        page->load(url);
    }
}

void ProgrammeBrowserModel::load(const QUrl& url)
{
    m_urlString = url.toString();
    if (m_page) m_page->load(url);
    else m_pendingURL = url;
    Q_EMIT changed();
}

void ProgrammeBrowserModel::submitURL()
{
    if (const auto url = WebProgrammeImporter::preparedURL(m_urlString)) load(*url);
}

void ProgrammeBrowserModel::reload()
{
    if (m_page) m_page->reload();
}

void ProgrammeBrowserModel::goBack()
{
    if (m_page && m_page->canGoBack()) m_page->goBack();
}

void ProgrammeBrowserModel::goForward()
{
    if (m_page && m_page->canGoForward()) m_page->goForward();
}

void ProgrammeBrowserModel::open(const ProgrammeFavorite& favorite)
{
    if (const auto url = WebProgrammeImporter::preparedURL(favorite.url)) load(*url);
}

void ProgrammeBrowserModel::navigationStarted()
{
    ++m_pageGeneration;
    m_isLoading = true;
    m_status = QStringLiteral("Chargement…");
    m_importError.reset();
    if (m_page && m_page->url().isValid()) m_urlString = m_page->url().toString();
    Q_EMIT changed();
}

void ProgrammeBrowserModel::navigationFinished(bool succeeded)
{
    if (!m_page) return;
    m_isLoading = false;
    m_canGoBack = m_page->canGoBack();
    m_canGoForward = m_page->canGoForward();
    m_pageTitle = m_page->title();
    if (m_page->url().isValid()) m_urlString = m_page->url().toString();
    if (!succeeded) {
        applySnapshot(std::nullopt);
        m_status = QStringLiteral("La page ") + m_urlString + QStringLiteral(" n’a pas pu être affichée.");
        Q_EMIT changed();
        return;
    }
    Q_EMIT changed();
    refreshSnapshot();
}

void ProgrammeBrowserModel::refreshSnapshot()
{
    if (!m_page) return;
    const quint64 generation = m_pageGeneration;
    const QUrl pageURL = m_page->url();
    m_page->readHTML([model = QPointer(this), generation, pageURL](std::optional<QString> html) {
        if (!model || model->m_pageGeneration != generation) return;
        if (!html) return model->applySnapshot(std::nullopt);
        model->applySnapshot(WebProgrammeParser::snapshot(*html, pageURL));
    });
}

void ProgrammeBrowserModel::applySnapshot(std::optional<WebProgrammeSnapshot> snapshot)
{
    m_snapshot = snapshot.value_or(WebProgrammeSnapshot{});
    m_canImportEvent = m_snapshot.kind == WebProgrammeSnapshot::Kind::startlist && !m_snapshot.people.isEmpty();
    // From a start list, the competition can be imported when its page is known and is another page.
    m_canImportContest = m_snapshot.kind == WebProgrammeSnapshot::Kind::contest ||
                         (m_snapshot.kind == WebProgrammeSnapshot::Kind::startlist && m_snapshot.contestURL && m_page &&
                          WebProgrammeParser::comparableURL(*m_snapshot.contestURL) !=
                              WebProgrammeParser::comparableURL(m_page->url()));
    if (!m_isImporting) m_status = snapshot ? m_snapshot.statusLine() : kOpenContest;
    Q_EMIT changed();
}

void ProgrammeBrowserModel::importProgramme(Scope scope)
{
    if (m_isImporting || !m_page) return;
    if (scope == Scope::currentEvent ? !m_canImportEvent : !m_canImportContest) return;
    m_isImporting = true;
    m_importError.reset();
    m_status = QStringLiteral("Analyse de la page…");
    Q_EMIT changed();
    const QUrl pageURL = m_page->url();
    m_page->readHTML([model = QPointer(this), scope, pageURL](std::optional<QString> html) {
        if (!model || !model->m_isImporting) return;
        if (!html) return model->finishImport(std::nullopt, kOpenContest);
        if (scope == Scope::currentEvent) {
            try {
                return model->finishImport(WebProgrammeImporter::documentForCurrentEvent(*html, pageURL), {});
            } catch (const ImportError& e) {
                return model->finishImport(std::nullopt, e.message());
            }
        }
        model->m_importer.documentForContest(
            *html, pageURL,
            [model](const QString& progress) {
                model->m_status = progress;
                Q_EMIT model->changed();
            },
            [model](const WebProgrammeImporter::Outcome& outcome) { model->finishImport(outcome.document, outcome.errorMessage); });
    });
}

void ProgrammeBrowserModel::cancelImport()
{
    if (!m_isImporting) return;
    m_importer.cancel();
    finishImport(std::nullopt, {});
}

void ProgrammeBrowserModel::finishImport(std::optional<ProgrammeDocument> document, const QString& error)
{
    m_isImporting = false;
    if (!error.isEmpty()) m_importError = error;
    m_status = m_snapshot.statusLine();
    Q_EMIT changed();
    if (document && onImport) onImport(*document);
}

bool ProgrammeBrowserModel::isCurrentFavorite() const
{
    const auto url = WebProgrammeImporter::preparedURL(m_urlString);
    if (!url) return false;
    const QString current = ProgrammeFavorites::normalizedURL(url->toString());
    return std::any_of(m_favorites.cbegin(), m_favorites.cend(),
                       [&](const ProgrammeFavorite& f) { return ProgrammeFavorites::normalizedURL(f.url) == current; });
}

void ProgrammeBrowserModel::toggleFavorite()
{
    const auto url = WebProgrammeImporter::preparedURL(m_urlString);
    if (!url) return;
    const QString address = url->toString();
    const QString current = ProgrammeFavorites::normalizedURL(address);
    const qsizetype removed = m_favorites.removeIf(
        [&](const ProgrammeFavorite& f) { return ProgrammeFavorites::normalizedURL(f.url) == current; });
    if (removed == 0) {
        QString title = WebProgrammeParser::strippedBrandingTitle(m_pageTitle);
        if (title.isEmpty()) title = url->host();
        if (title.isEmpty()) title = QStringLiteral("Favori");
        m_favorites.push_back({QUuid::createUuid(), title, address});
    }
    saveFavorites();
}

void ProgrammeBrowserModel::removeFavorite(const QUuid& id)
{
    if (m_favorites.removeIf([&](const ProgrammeFavorite& f) { return f.id == id; }) > 0) saveFavorites();
}

void ProgrammeBrowserModel::saveFavorites()
{
    ProgrammeFavorites::save(m_favorites);
    Q_EMIT changed();
}

} // namespace tavrin
