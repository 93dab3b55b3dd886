#pragma once

// The web page shown by the programme browser, as its model sees it: the model drives it and
// reads its HTML, whatever engine renders it. The engine lives in a module loaded only when the
// browser first opens, so this interface carries no Qt object of its own.

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace tavrin {

class WebProgrammePage {
public:
    virtual ~WebProgrammePage() = default;

    virtual void load(const QUrl& url) = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void reload() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;

    // The HTML of the page as shown (document.documentElement.outerHTML), or none when it cannot
    // be read. The answer may come after a later navigation has started.
    virtual void readHTML(std::function<void(std::optional<QString>)> done) = 0;

    // Set by whoever observes the page.
    std::function<void()> navigationStarted;
    std::function<void(bool succeeded)> navigationFinished;
};

} // namespace tavrin
