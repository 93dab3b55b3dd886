#include "programme/XmlPatterns.h"

namespace tavrin::XmlPatterns {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool isNameChar(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-' ||
           u == '.' || u == ':' || u >= 0x80;
}

// A word character for the purpose of "\b" after a tag name.
bool isWordChar(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u >= 0x80;
}

bool equalsAt(QByteArrayView text, qsizetype at, QByteArrayView needle)
{
    if (at < 0 || at > text.size() - needle.size()) return false;
    for (qsizetype i = 0; i < needle.size(); ++i)
        if (lower(text[at + i]) != lower(needle[i])) return false;
    return true;
}

// Case-insensitive search of a needle starting with "<".
qsizetype find(QByteArrayView text, QByteArrayView needle, qsizetype from)
{
    while (from <= text.size() - needle.size()) {
        const qsizetype lt = text.indexOf('<', from);
        if (lt < 0) return -1;
        if (equalsAt(text, lt, needle)) return lt;
        from = lt + 1;
    }
    return -1;
}

} // namespace

ElementScanner::ElementScanner(QByteArrayView text, QByteArrayView tag, bool wholeName, bool needsClose)
    : m_text(text), m_open(QByteArray("<").append(tag)), m_close(QByteArray("</").append(tag).append('>')), m_wholeName(wholeName),
      m_needsClose(needsClose)
{
}

std::optional<Element> ElementScanner::next()
{
    const QByteArrayView open = m_open;
    while (m_pos < m_text.size()) {
        const qsizetype start = find(m_text, open, m_pos);
        if (start < 0) break;
        const qsizetype nameEnd = start + open.size();
        m_pos = nameEnd;
        if (m_wholeName && nameEnd < m_text.size() && isWordChar(m_text[nameEnd])) continue;
        const qsizetype gt = m_text.indexOf('>', nameEnd);
        if (gt < 0) break; // no later tag can close either
        QByteArrayView attributes = m_text.sliced(nameEnd, gt - nameEnd);
        const bool selfClosing = attributes.endsWith('/');
        if (selfClosing) attributes.chop(1);
        if (!m_needsClose || selfClosing) {
            m_pos = gt + 1;
            return Element{attributes, {}};
        }
        if (m_noMoreClose) continue;
        const qsizetype close = find(m_text, m_close, gt + 1);
        if (close < 0) {
            // Only self-closing tags can still match.
            m_noMoreClose = true;
            continue;
        }
        m_pos = close + m_close.size();
        return Element{attributes, m_text.sliced(gt + 1, close - gt - 1)};
    }
    m_pos = m_text.size();
    return std::nullopt;
}

std::optional<Element> firstElement(QByteArrayView text, QByteArrayView tag) { return ElementScanner(text, tag).next(); }

std::optional<QByteArrayView> attribute(QByteArrayView attributes, QByteArrayView name)
{
    const QByteArray pattern = name.toByteArray().append("=\"");
    for (qsizetype from = 0; from <= attributes.size() - pattern.size(); ++from) {
        if (!equalsAt(attributes, from, pattern)) continue;
        if (from > 0 && isNameChar(attributes[from - 1]) && attributes[from - 1] != ':') continue;
        const qsizetype valueStart = from + pattern.size();
        const qsizetype quote = attributes.indexOf('"', valueStart);
        if (quote < 0) return std::nullopt;
        return attributes.sliced(valueStart, quote - valueStart);
    }
    return std::nullopt;
}

QByteArray decodeEntities(QByteArrayView text)
{
    QByteArray out = text.toByteArray();
    if (!out.contains('&')) return out;
    out.replace("&amp;", "&");
    out.replace("&lt;", "<");
    out.replace("&gt;", ">");
    out.replace("&quot;", "\"");
    out.replace("&#39;", "'");
    return out;
}

QByteArray extractT(QByteArrayView fragment)
{
    ElementScanner runs(fragment, "t");
    auto run = runs.next();
    if (!run) return decodeEntities(fragment);
    QByteArray joined;
    for (; run; run = runs.next()) joined.append(run->inner);
    return decodeEntities(joined);
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) length = 2, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) length = 3, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) length = 4, cp = c & 0x07;
        else return false;
        if (end - p < length) return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

} // namespace tavrin::XmlPatterns
