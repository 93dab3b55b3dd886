#pragma once

// The programme browser: a window with an address field, back, forward, reload, the favourite
// sites, the two import buttons, the status line and the error text over the page shown. The
// page engine (Qt WebEngine) is loaded from its module when the window is first shown.

#include "programme/ProgrammeBrowserModel.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QStackedWidget;
class QVBoxLayout;

namespace tavrin {

class CapsuleButton;
class CapsuleMenu;

class ProgrammeBrowserView : public QWidget {
    Q_OBJECT

public:
    // A window of its own, owned by `parent`.
    explicit ProgrammeBrowserView(QWidget* parent = nullptr);
    ~ProgrammeBrowserView() override;

    ProgrammeBrowserModel& model() { return m_model; }

    // Receives the imported programme; the window then closes.
    std::function<void(const ProgrammeDocument&)> onImport;

    // Whether a page engine shows the pages (false before the first show, or when the module
    // could not be loaded: the window then says so).
    bool hasPageEngine() const { return m_page != nullptr; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void loadPageEngine();
    void render();
    void renderFavorites();
    void renderStartPanel();

    ProgrammeBrowserModel m_model;
    WebProgrammePage* m_page = nullptr;
    QWidget* m_pageWidget = nullptr;
    QLineEdit* m_address = nullptr;
    CapsuleButton* m_back = nullptr;
    CapsuleButton* m_forward = nullptr;
    CapsuleButton* m_reload = nullptr;
    CapsuleButton* m_star = nullptr;
    CapsuleMenu* m_favorites = nullptr;
    CapsuleButton* m_importEvent = nullptr;
    CapsuleButton* m_importContest = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_error = nullptr;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_startPanel = nullptr;
    QVBoxLayout* m_startSites = nullptr;
    QList<ProgrammeFavorite> m_shownFavorites;
    bool m_started = false;
};

} // namespace tavrin
