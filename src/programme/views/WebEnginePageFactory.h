#pragma once

// The interface of the module that renders the programme browser's pages with Qt WebEngine. The
// module is loaded the first time the browser opens; nothing else in Tavrin links WebEngine, so
// start-up never pays for it.

#include "programme/WebProgrammePage.h"

#include <QtPlugin>

class QWidget;

namespace tavrin {

class WebEnginePageFactory {
public:
    virtual ~WebEnginePageFactory() = default;

    struct Page {
        QWidget* widget = nullptr;         // owned by the parent given
        WebProgrammePage* page = nullptr;  // the same object, as the model drives it
    };
    virtual Page createPage(QWidget* parent) = 0;
};

} // namespace tavrin

#define TavrinWebEnginePageFactory_iid "fr.tavrin.WebEnginePageFactory/1"
Q_DECLARE_INTERFACE(tavrin::WebEnginePageFactory, TavrinWebEnginePageFactory_iid)
