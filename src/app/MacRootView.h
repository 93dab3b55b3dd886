#pragma once

#include "app/MacWorkspaceSection.h"

#include <QMainWindow>

class QDockWidget;
class QLabel;
class QMenu;
class QMessageBox;
class QStackedWidget;

namespace tavrin {

class AboutDialog;
class CapsuleMenu;
class FusedGroup;
class CapsuleButton;
class ProgrammeBrowserView;
class ReceptionController;
class RiderFoldersView;
class SpreadsheetWorkspaceView;
class TableurView;
class TavrinApp;

// The single window: the section bar ("Paniers", "Tableur", "Commandes") over the page of the
// section shown, the menu commands, the appearance menu and the import-result alert.
class MacRootView : public QMainWindow {
    Q_OBJECT

public:
    explicit MacRootView(TavrinApp& app, QWidget* parent = nullptr);
    // Following still going ends while every screen that shows its copies is still there.
    ~MacRootView() override;

    MacWorkspaceSection section() const { return m_section; }
    // Shows a section and remembers it under "macWorkspaceSection".
    void setSection(MacWorkspaceSection section);

    // The page of each section; a screen replaces its section's placeholder with setSectionPage
    // (the window takes ownership and deletes the page it replaces).
    void setSectionPage(MacWorkspaceSection section, QWidget* page);
    QWidget* sectionPage(MacWorkspaceSection section) const;
    TableurView* tableur() const { return m_tableur; }
    SpreadsheetWorkspaceView* workspace() const { return m_workspace; }
    RiderFoldersView* riderFolders() const { return m_riderFolders; }
    // The web import's browser window, made the first time it is asked for.
    ProgrammeBrowserView* webImport() const { return m_webImport; }
    // "À propos de Tavrin", made the first time it is shown.
    AboutDialog* about() const { return m_about; }
    void showAbout();
    // The « Réception » panel, docked at the right and shown from the top bar.
    ReceptionController* reception() const { return m_reception; }
    QDockWidget* receptionDock() const { return m_receptionDock; }
    void showReception(bool shown);
    // « Épreuve en cours » at the sidebar's foot: marks the selected spreadsheet as the class being shot.
    CapsuleButton* currentClassButton() const { return m_currentClass; }

    // Where the window's size and place are kept between starts.
    static constexpr const char* windowGeometryKey = "tavrin.windowGeometry";
    void saveWindowGeometry();

Q_SIGNALS:
    void firstShown();
    void sectionChanged(MacWorkspaceSection section);
    // "Importer le programme…" and "Importer depuis une page internet…", with the section shown:
    // the programme belongs to the spreadsheet workspace (Tableur) or to the rider folders
    // (Paniers).
    void importProgrammeRequested(MacWorkspaceSection section);
    void importProgrammeWebRequested(MacWorkspaceSection section);


protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void installSections();
    void restoreWindowGeometry();
    void fitFrameOnScreen();
    void installSyncControls();
    void installReception();
    void refreshCurrentClass();
    void buildMenus();
    QWidget* buildTopBar();
    void buildAppearanceMenu(QMenu* menu);
    void connectCommands();
    void showImportResult();
    QWidget* buildNoticeBanner();
    // Adds the data-file notices not shown yet to the banner above the pages.
    void showDataFileNotices();
    void openWebImport();
    static QWidget* placeholderPage(MacWorkspaceSection section);

    TavrinApp& m_app;
    MacWorkspaceSection m_section = MacWorkspaceSection::tableur;
    FusedGroup* m_sectionBar = nullptr;
    QStackedWidget* m_pages = nullptr;
    TableurView* m_tableur = nullptr;
    SpreadsheetWorkspaceView* m_workspace = nullptr;
    RiderFoldersView* m_riderFolders = nullptr;
    ProgrammeBrowserView* m_webImport = nullptr;
    AboutDialog* m_about = nullptr;
    ReceptionController* m_reception = nullptr;
    QDockWidget* m_receptionDock = nullptr;
    CapsuleButton* m_receptionToggle = nullptr;
    CapsuleButton* m_currentClass = nullptr;
    QMessageBox* m_importAlert = nullptr;
    QWidget* m_noticeBanner = nullptr;
    QLabel* m_noticeText = nullptr;
    bool m_shown = false;
    bool m_fitPending = false;
};

} // namespace tavrin
