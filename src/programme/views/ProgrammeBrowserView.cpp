#include "programme/views/ProgrammeBrowserView.h"

#include "base/TavrinModules.h"
#include "programme/views/WebEnginePageFactory.h"
#include "ui/CapsuleButton.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPluginLoader>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <unistd.h>

namespace tavrin {

namespace {

const QString kModuleName = QStringLiteral("tavrin_webengine.so");

// Chromium writes its own log lines to the terminal, and refuses to start as root without
// giving up its sandbox; both are settled before the engine starts.
void prepareEngineEnvironment()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --log-level=3");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

WebEnginePageFactory* pageFactory()
{
    static WebEnginePageFactory* factory = [] () -> WebEnginePageFactory* {
        prepareEngineEnvironment();
        for (const QString& path : TavrinModules::candidates(kModuleName)) {
            if (!QFile::exists(path)) continue;
            QPluginLoader loader(path);
            if (auto* f = qobject_cast<WebEnginePageFactory*>(loader.instance())) return f;
        }
        return nullptr;
    }();
    return factory;
}

} // namespace

ProgrammeBrowserView::ProgrammeBrowserView(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Importer depuis une page internet"));
    resize(1120, 800);

    m_back = new CapsuleButton(CapsuleButton::Kind::icon, QStringLiteral("Page précédente"), QStringLiteral("chevron.left"));
    m_forward = new CapsuleButton(CapsuleButton::Kind::icon, QStringLiteral("Page suivante"), QStringLiteral("chevron.right"));
    m_reload = new CapsuleButton(CapsuleButton::Kind::icon, QStringLiteral("Recharger"), QStringLiteral("arrow.clockwise"));
    m_address = new QLineEdit;
    m_address->setPlaceholderText(QStringLiteral("Adresse d’un concours ou d’une liste de départ"));
    m_address->setClearButtonEnabled(true);
    m_star = new CapsuleButton(CapsuleButton::Kind::icon, QStringLiteral("Ajouter aux favoris"), QStringLiteral("star"));
    m_favorites = new CapsuleMenu(CapsuleButton::Kind::glass, QStringLiteral("Favoris"), QStringLiteral("book"));

    auto* navigation = new QHBoxLayout;
    navigation->setSpacing(Theme::smallSpacing);
    for (QWidget* w : {static_cast<QWidget*>(m_back), static_cast<QWidget*>(m_forward), static_cast<QWidget*>(m_reload)})
        navigation->addWidget(w);
    navigation->addWidget(m_address, 1);
    navigation->addWidget(m_star);
    navigation->addWidget(m_favorites);

    m_importEvent = new CapsuleButton(CapsuleButton::Kind::prominent, QStringLiteral("Importer cette épreuve"));
    m_importContest = new CapsuleButton(CapsuleButton::Kind::glass, QStringLiteral("Importer tout le concours"));
    m_status = new QLabel;
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error = new QLabel;
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(Theme::spacing);
    actions->addWidget(m_status, 1);
    actions->addWidget(m_importContest);
    actions->addWidget(m_importEvent);

    m_startPanel = new QWidget;
    auto* start = new QVBoxLayout(m_startPanel);
    start->addStretch(1);
    auto* hint = new QLabel(QStringLiteral("Ouvrez un concours, puis importez le programme."));
    hint->setAlignment(Qt::AlignCenter);
    QFont font = hint->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    hint->setFont(font);
    start->addWidget(hint);
    m_startSites = new QVBoxLayout;
    m_startSites->setAlignment(Qt::AlignHCenter);
    start->addLayout(m_startSites);
    start->addStretch(2);

    m_stack = new QStackedWidget;
    m_stack->addWidget(m_startPanel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::spacing, Theme::spacing, Theme::spacing, Theme::spacing);
    layout->setSpacing(Theme::spacing);
    layout->addLayout(navigation);
    layout->addLayout(actions);
    layout->addWidget(m_error);
    layout->addWidget(m_stack, 1);

    connect(m_back, &QToolButton::clicked, &m_model, &ProgrammeBrowserModel::goBack);
    connect(m_forward, &QToolButton::clicked, &m_model, &ProgrammeBrowserModel::goForward);
    connect(m_reload, &QToolButton::clicked, &m_model, &ProgrammeBrowserModel::reload);
    connect(m_star, &QToolButton::clicked, &m_model, &ProgrammeBrowserModel::toggleFavorite);
    connect(m_address, &QLineEdit::textEdited, &m_model, &ProgrammeBrowserModel::setURLString);
    connect(m_address, &QLineEdit::returnPressed, &m_model, &ProgrammeBrowserModel::submitURL);
    connect(m_importEvent, &QToolButton::clicked, this, [this] { m_model.importProgramme(ProgrammeBrowserModel::Scope::currentEvent); });
    connect(m_importContest, &QToolButton::clicked, this, [this] { m_model.importProgramme(ProgrammeBrowserModel::Scope::contest); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this, [this] {
        m_address->setFocus();
        m_address->selectAll();
    });
    connect(new QShortcut(QKeySequence::Refresh, this), &QShortcut::activated, &m_model, &ProgrammeBrowserModel::reload);
    connect(new QShortcut(QKeySequence::Back, this), &QShortcut::activated, &m_model, &ProgrammeBrowserModel::goBack);
    connect(new QShortcut(QKeySequence::Forward, this), &QShortcut::activated, &m_model, &ProgrammeBrowserModel::goForward);

    m_model.onImport = [this](const ProgrammeDocument& document) {
        if (onImport) onImport(document);
        close();
    };
    connect(&m_model, &ProgrammeBrowserModel::changed, this, &ProgrammeBrowserView::render);
    render();
}

ProgrammeBrowserView::~ProgrammeBrowserView()
{
    // The page goes with the window's children; the model must not reach it meanwhile.
    m_model.attach(nullptr);
}

void ProgrammeBrowserView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!std::exchange(m_started, true)) loadPageEngine();
}

void ProgrammeBrowserView::closeEvent(QCloseEvent* event)
{
    m_model.cancelImport();
    QWidget::closeEvent(event);
}

void ProgrammeBrowserView::loadPageEngine()
{
    WebEnginePageFactory* factory = pageFactory();
    if (!factory) {
        m_error->setText(QStringLiteral("Le navigateur intégré n’a pas pu être chargé : la page ne peut pas être affichée."));
        m_error->setVisible(true);
        return;
    }
    const WebEnginePageFactory::Page page = factory->createPage(m_stack);
    m_pageWidget = page.widget;
    m_page = page.page;
    m_stack->addWidget(m_pageWidget);
    m_model.attach(m_page);
    render();
}

void ProgrammeBrowserView::render()
{
    const bool importing = m_model.isImporting();
    if (!m_address->hasFocus() || m_model.isLoading()) m_address->setText(m_model.urlString());
    m_back->setEnabled(m_page && m_model.canGoBack());
    m_forward->setEnabled(m_page && m_model.canGoForward());
    m_reload->setEnabled(m_page && !m_model.urlString().isEmpty());

    const bool favorite = m_model.isCurrentFavorite();
    m_star->setSymbol(favorite ? QStringLiteral("star.fill") : QStringLiteral("star"));
    m_star->setToolTip(favorite ? QStringLiteral("Retirer des favoris") : QStringLiteral("Ajouter aux favoris"));
    m_star->setEnabled(!m_model.urlString().isEmpty());
    if (m_shownFavorites != m_model.favorites()) {
        m_shownFavorites = m_model.favorites();
        renderFavorites();
        renderStartPanel();
    }

    m_importEvent->setEnabled(!importing && m_model.canImportEvent());
    m_importContest->setEnabled(!importing && m_model.canImportContest());
    m_importContest->setText(m_model.contestImportTitle());
    m_status->setText(m_model.status());
    if (m_page) {
        m_error->setText(m_model.importError().value_or(QString()));
        m_error->setVisible(m_model.importError().has_value());
    }
    QPalette errorPalette = m_error->palette();
    errorPalette.setColor(QPalette::WindowText, Theme::red(palette().color(QPalette::Window).lightness() < 128));
    m_error->setPalette(errorPalette);

    // The start panel stays until a page is asked for.
    if (m_pageWidget && (m_model.isLoading() || !m_model.urlString().isEmpty())) m_stack->setCurrentWidget(m_pageWidget);
}

void ProgrammeBrowserView::renderFavorites()
{
    QMenu* menu = m_favorites->menu();
    menu->clear();
    const QList<ProgrammeFavorite>& favorites = m_model.favorites();
    if (favorites.isEmpty()) {
        menu->addAction(QStringLiteral("Ajoutez un site en favori avec l’étoile."))->setEnabled(false);
        return;
    }
    for (const ProgrammeFavorite& favorite : favorites) {
        QAction* open = menu->addAction(favorite.title, this, [this, favorite] { m_model.open(favorite); });
        open->setToolTip(favorite.url);
    }
    menu->addSeparator();
    QMenu* removal = menu->addMenu(Symbols::icon(QStringLiteral("trash")), QStringLiteral("Retirer des favoris"));
    for (const ProgrammeFavorite& favorite : favorites)
        removal->addAction(favorite.title, this, [this, id = favorite.id] { m_model.removeFavorite(id); });
}

void ProgrammeBrowserView::renderStartPanel()
{
    while (QLayoutItem* item = m_startSites->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<ProgrammeFavorite>& favorites = m_model.favorites();
    if (favorites.isEmpty()) {
        auto* empty = new QLabel(QStringLiteral("Ajoutez un site en favori avec l’étoile."));
        empty->setAlignment(Qt::AlignCenter);
        m_startSites->addWidget(empty);
        return;
    }
    for (const ProgrammeFavorite& favorite : favorites) {
        auto* site = new CapsuleButton(CapsuleButton::Kind::glass, favorite.title, QStringLiteral("book"));
        site->setToolTip(favorite.url);
        site->setMinimumWidth(260);
        connect(site, &QToolButton::clicked, this, [this, favorite] { m_model.open(favorite); });
        m_startSites->addWidget(site);
    }
}

} // namespace tavrin
