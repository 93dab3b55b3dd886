#pragma once

// The state of the programme browser: the address field, navigation, the status line, what the
// page shown can import and the favourite sites. After every page load the page's HTML is read
// and analysed; the import buttons follow the result. Lives on the main thread.

#include "programme/ProgrammeFavorites.h"
#include "programme/WebProgrammeImporter.h"
#include "programme/WebProgrammePage.h"
#include "programme/WebProgrammeSnapshot.h"

#include <QObject>

#include <functional>
#include <optional>

namespace tavrin {

class ProgrammeBrowserModel : public QObject {
    Q_OBJECT

public:
    using Scope = WebProgrammeImporter::Scope;

    explicit ProgrammeBrowserModel(QObject* parent = nullptr,
                                   std::chrono::milliseconds timeout = WebProgrammeImporter::kRequestTimeout);
    ~ProgrammeBrowserModel() override;

    const QString& urlString() const { return m_urlString; }
    // The address field as typed; submitURL() loads it.
    void setURLString(const QString& text);
    const QString& status() const { return m_status; }
    const std::optional<QString>& importError() const { return m_importError; }
    bool canGoBack() const { return m_canGoBack; }
    bool canGoForward() const { return m_canGoForward; }
    bool isLoading() const { return m_isLoading; }
    bool isImporting() const { return m_isImporting; }
    const QString& pageTitle() const { return m_pageTitle; }
    WebProgrammeSnapshot::Kind kind() const { return m_snapshot.kind; }
    bool canImportEvent() const { return m_canImportEvent; }
    bool canImportContest() const { return m_canImportContest; }
    // "Importer tout le concours" on a competition page, "Importer le concours" from a start list.
    QString contestImportTitle() const;
    const QList<ProgrammeFavorite>& favorites() const { return m_favorites; }
    const std::optional<QUrl>& pendingURL() const { return m_pendingURL; }

    // The page the model drives, or none. Not owned: the screen detaches it before destroying it.
    // A URL asked for before the page existed is loaded now.
    void attach(WebProgrammePage* page);

    void submitURL();
    void reload();
    void goBack();
    void goForward();
    void open(const ProgrammeFavorite& favorite);
    void toggleFavorite();
    bool isCurrentFavorite() const;
    void removeFavorite(const QUuid& id);

    // Builds the programme of the scope from the page shown and hands it to onImport; on failure
    // the reason goes to importError. Nothing happens while an import runs or when the page does
    // not offer the scope.
    void importProgramme(Scope scope);
    void cancelImport();

    void navigationStarted();
    void navigationFinished(bool succeeded);
    void refreshSnapshot();

    std::function<void(const ProgrammeDocument&)> onImport;

Q_SIGNALS:
    void changed();

private:
    void load(const QUrl& url);
    void applySnapshot(std::optional<WebProgrammeSnapshot> snapshot);
    void finishImport(std::optional<ProgrammeDocument> document, const QString& error);
    void saveFavorites();

    WebProgrammeImporter m_importer;
    WebProgrammePage* m_page = nullptr;
    QString m_urlString;
    QString m_status;
    std::optional<QString> m_importError;
    bool m_canGoBack = false, m_canGoForward = false, m_isLoading = false, m_isImporting = false;
    QString m_pageTitle;
    WebProgrammeSnapshot m_snapshot;
    bool m_canImportEvent = false, m_canImportContest = false;
    QList<ProgrammeFavorite> m_favorites;
    std::optional<QUrl> m_pendingURL;
    // Bumped by each navigation: the HTML of an older page is not analysed.
    quint64 m_pageGeneration = 0;
};

} // namespace tavrin
