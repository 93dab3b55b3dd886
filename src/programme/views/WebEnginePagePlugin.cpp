// The Qt WebEngine module of the programme browser: one page view over a private profile (no
// cookie, cache or history written to disk), whose HTML is read back after every load.

#include "programme/views/WebEnginePageFactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QPointer>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

namespace tavrin {

namespace {

// WebEngine hands its frames to Qt through an OpenGL context shared application-wide. Asking Qt
// for it at start-up (Qt::AA_ShareOpenGLContexts) would load OpenGL for every launch; it is made
// here instead, before the first page, which is what WebEngine needs.
void ensureShareContext()
{
    if (qt_gl_global_share_context()) return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->create();
    qt_gl_set_global_share_context(context);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

class WebEngineProgrammePage : public QWebEngineView, public WebProgrammePage {
public:
    WebEngineProgrammePage(QWebEngineProfile* profile, QWidget* parent)
        : QWebEngineView(profile, parent), m_profile(profile)
    {
        openNewWindowsInPlace(page());
        connect(this, &QWebEngineView::loadStarted, this, [this] {
            m_loading.start();
            if (navigationStarted) navigationStarted();
        });
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            m_loading.invalidate();
            if (navigationFinished) navigationFinished(ok);
        });
    }

    void load(const QUrl& url) override
    {
        leaveStuckPage();
        QWebEngineView::load(url);
    }
    void goBack() override { QWebEngineView::back(); }
    void goForward() override { QWebEngineView::forward(); }
    void reload() override
    {
        if (leaveStuckPage()) QWebEngineView::load(m_stuckURL);
        else QWebEngineView::reload();
    }
    bool canGoBack() const override { return history()->canGoBack(); }
    bool canGoForward() const override { return history()->canGoForward(); }
    QUrl url() const override { return QWebEngineView::url(); }
    QString title() const override { return QWebEngineView::title(); }

    void readHTML(std::function<void(std::optional<QString>)> done) override
    {
        page()->runJavaScript(QStringLiteral("document.documentElement.outerHTML"), [done](const QVariant& value) {
            if (value.typeId() == QMetaType::QString) done(value.toString());
            else done(std::nullopt);
        });
    }

private:
    void usePage(QWebEnginePage* page)
    {
        // The view deletes a page it made itself when it is replaced, not one given to it.
        const QPointer<QWebEnginePage> old = QWebEngineView::page();
        setPage(page);
        if (old && old != page) old->deleteLater();
        openNewWindowsInPlace(page);
    }

    // Providers open start lists in new tabs; here they open in place, back returns.
    void openNewWindowsInPlace(QWebEnginePage* page)
    {
        connect(page, &QWebEnginePage::newWindowRequested, this,
                [this](QWebEngineNewWindowRequest& request) { QWebEngineView::load(request.requestedUrl()); });
    }

    // A page still loading after a few seconds may hold its renderer busy for minutes (a hundred
    // thousand nested tags do): going elsewhere then starts from a fresh page, whose renderer is
    // a new one, rather than queueing behind the stuck one. Its history is lost; the window stays
    // usable.
    bool leaveStuckPage()
    {
        if (!m_loading.isValid() || m_loading.elapsed() < kStuckAfterMs) return false;
        m_stuckURL = QWebEngineView::url();
        m_loading.invalidate();
        usePage(new QWebEnginePage(m_profile, this));
        return true;
    }

    static constexpr qint64 kStuckAfterMs = 3000;
    QWebEngineProfile* m_profile;
    QElapsedTimer m_loading;
    QUrl m_stuckURL;
};

class WebEnginePagePlugin : public QObject, public WebEnginePageFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TavrinWebEnginePageFactory_iid)
    Q_INTERFACES(tavrin::WebEnginePageFactory)

public:
    Page createPage(QWidget* parent) override
    {
        ensureShareContext();
        // Off the record: nothing of the browsing is written to disk.
        static QWebEngineProfile* profile = new QWebEngineProfile(QCoreApplication::instance());
        auto* view = new WebEngineProgrammePage(profile, parent);
        return {view, view};
    }
};

} // namespace

} // namespace tavrin

#include "WebEnginePagePlugin.moc"
