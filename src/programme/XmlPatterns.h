#pragma once

// Pattern-based reading of the few XML parts of a workbook, without an XML library: elements are
// found by their tag text, like the regular expression <tag[^>]*>(.*?)</tag> (ASCII letters
// compared without case), in one linear pass. A self-closing tag (<c r="B2"/>) is an empty
// element of its own and never runs on to the next closing tag.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace tavrin::XmlPatterns {

struct Element {
    QByteArrayView attributes; // the text between the tag name and ">", without a final "/"
    QByteArrayView inner;      // empty for a self-closing tag
};

class ElementScanner {
public:
    // With `wholeName`, the tag name must not run on into a longer name (<sheet but not <sheets).
    // Without `needsClose`, only opening tags are looked at (<sheet .../>).
    ElementScanner(QByteArrayView text, QByteArrayView tag, bool wholeName = false, bool needsClose = true);
    std::optional<Element> next();

private:
    QByteArrayView m_text, m_tag;
    bool m_wholeName, m_needsClose, m_noMoreClose = false;
    qsizetype m_pos = 0;
};

// The first element of that tag, if any.
std::optional<Element> firstElement(QByteArrayView text, QByteArrayView tag);

// The value of name="value" among the attributes; the name is not part of a longer name.
std::optional<QByteArrayView> attribute(QByteArrayView attributes, QByteArrayView name);

// Every entity and character reference of XML text: &lt; &gt; &quot; &apos; &amp;, &#233; and
// &#xE9;. "&amp;" is decoded first, so that text escaped twice (&amp;lt;, &amp;#233;) still reads
// as its character; a reference to no character becomes U+FFFD. Other "&" stay as written.
QByteArray decodeEntities(QByteArrayView text);

// The text of a cell: its entities decoded, then the workbook's own escapes of characters XML
// cannot hold (_x000D_; _x005F_ is "_").
QByteArray decodeCellText(QByteArrayView text);

// The text runs (<t>) of a fragment joined and decoded as cell text, phonetic guides (<rPh>) left
// out, or the fragment itself decoded when it has none.
QByteArray extractT(QByteArrayView fragment);

bool isValidUtf8(QByteArrayView bytes);

} // namespace tavrin::XmlPatterns
