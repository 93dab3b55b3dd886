#pragma once

// A page's HTML as a browser holds it: the text is parsed into a document by the HTML5 tree
// construction rules (implied <tbody>, <html> and <body>, cells and rows closed by the next one,
// misnested tags repaired, entities decoded) and written back as a browser's outerHTML would
// write it. Every page read for riders goes through here, whether it was saved to disk, fetched
// over HTTP or taken from the browser view, so that all three read alike.

#include <QString>
#include <QStringView>

namespace tavrin::WebHtml {

// The document of `html`, serialised: every element closed, attribute values in double quotes,
// text escaped (&amp; &lt; &gt; &nbsp;). Scripts, style sheets and comments are dropped, each
// leaving one space: their text is not content.
QString documentHTML(QStringView html);

} // namespace tavrin::WebHtml
