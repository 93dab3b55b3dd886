#pragma once

// Pattern matching over the HTML of timing providers' pages, kept linear on hostile pages: every
// pattern is compiled once with a match limit, element bodies are found by pairing an opening
// pattern with the next closing tag through cursors that only move forward, and the patterns
// repeat only inside one tag, one quoted value or one run of text.

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <optional>

namespace tavrin::WebHtml {

// A case-insensitive pattern with a per-attempt match limit; compile it once (function-local
// statics) and share it.
QRegularExpression pattern(QStringView source);

// The first match at or after `from`; none when there is none or the match limit was reached.
// The text must hold no lone surrogates, which the matcher does not check for: a document
// written back by documentHTML holds none.
std::optional<QRegularExpressionMatch> find(const QRegularExpression& re, QStringView text, qsizetype from = 0);

// Where a tag written like `tag` ("</td>", ASCII letters in any case) next starts at or after
// `from`; -1 when there is none. `tag` starts with "<".
qsizetype indexOfTag(QStringView text, QStringView tag, qsizetype from);

struct Element {
    QRegularExpressionMatch open; // the opening tag's match, with its groups
    QStringView inner;            // between the opening tag and the closing tag
    qsizetype start = 0;          // where the opening tag starts
    qsizetype end = 0;            // just after the closing tag
};

// The elements `open` … `close` of a text, left to right, as the pattern open([\s\S]*?)close
// would give them with a global match.
class ElementScanner {
public:
    ElementScanner(QStringView text, const QRegularExpression& open, QStringView close);
    std::optional<Element> next();

private:
    QStringView m_text;
    const QRegularExpression& m_open;
    QStringView m_close;
    qsizetype m_pos = 0;
    bool m_done = false;
};

// The first element only.
std::optional<Element> firstElement(QStringView text, const QRegularExpression& open, QStringView close);

// HTML entities decoded in one pass: the named ones of French pages (&nbsp; as a plain space,
// &amp; &quot; &apos; &lt; &gt;, accented letters, quotes and dashes) and numeric ones (&#39;,
// &#x2019;). Unknown entities stay as written.
QString decodingHTMLEntities(QStringView text);

// A cell, title or heading as read by people: line breaks (<br>) become spaces, tags go, entities
// are decoded and runs of white space become one space; trimmed.
QString cleaned(QStringView fragment);

} // namespace tavrin::WebHtml
