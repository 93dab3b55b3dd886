#include "programme/XmlPatterns.h"

#include <cstring>

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

// Qt's indexOf(char) goes through its general substring search. Tags are a few bytes apart, so
// a plain loop over the first bytes beats a call, and memchr takes over for long runs of text.
qsizetype indexOf(QByteArrayView text, char c, qsizetype from)
{
    const qsizetype nearEnd = std::min(text.size(), from + 16);
    for (qsizetype i = from; i < nearEnd; ++i)
        if (text[i] == c) return i;
    if (nearEnd >= text.size()) return -1;
    const void* at = std::memchr(text.data() + nearEnd, c, size_t(text.size() - nearEnd));
    return at ? static_cast<const char*>(at) - text.data() : -1;
}

bool equalsAt(QByteArrayView text, qsizetype at, QByteArrayView needle)
{
    if (at < 0 || at > text.size() - needle.size()) return false;
    for (qsizetype i = 0; i < needle.size(); ++i)
        if (lower(text[at + i]) != lower(needle[i])) return false;
    return true;
}

// Case-insensitive search of "<" + name (+ ">" when `closing`, after a "/" too).
qsizetype findTag(QByteArrayView text, QByteArrayView name, bool closing, qsizetype from)
{
    const qsizetype length = name.size() + (closing ? 3 : 1);
    while (from <= text.size() - length) {
        const qsizetype lt = indexOf(text, '<', from);
        if (lt < 0 || lt > text.size() - length) return -1;
        const bool match = closing ? text[lt + 1] == '/' && equalsAt(text, lt + 2, name) && text[lt + 2 + name.size()] == '>'
                                   : equalsAt(text, lt + 1, name);
        if (match) return lt;
        from = lt + 1;
    }
    return -1;
}

} // namespace

ElementScanner::ElementScanner(QByteArrayView text, QByteArrayView tag, bool wholeName, bool needsClose)
    : m_text(text), m_tag(tag), m_wholeName(wholeName), m_needsClose(needsClose)
{
}

std::optional<Element> ElementScanner::next()
{
    while (m_pos < m_text.size()) {
        const qsizetype start = findTag(m_text, m_tag, false, m_pos);
        if (start < 0) break;
        const qsizetype nameEnd = start + 1 + m_tag.size();
        m_pos = nameEnd;
        if (m_wholeName && nameEnd < m_text.size() && isWordChar(m_text[nameEnd])) continue;
        const qsizetype gt = indexOf(m_text, '>', nameEnd);
        if (gt < 0) break; // no later tag can close either
        QByteArrayView attributes = m_text.sliced(nameEnd, gt - nameEnd);
        const bool selfClosing = attributes.endsWith('/');
        if (selfClosing) attributes.chop(1);
        if (!m_needsClose || selfClosing) {
            m_pos = gt + 1;
            return Element{attributes, {}};
        }
        if (m_noMoreClose) continue;
        const qsizetype close = findTag(m_text, m_tag, true, gt + 1);
        if (close < 0) {
            // Only self-closing tags can still match.
            m_noMoreClose = true;
            continue;
        }
        m_pos = close + m_tag.size() + 3;
        return Element{attributes, m_text.sliced(gt + 1, close - gt - 1)};
    }
    m_pos = m_text.size();
    return std::nullopt;
}

std::optional<Element> firstElement(QByteArrayView text, QByteArrayView tag) { return ElementScanner(text, tag).next(); }

std::optional<QByteArrayView> attribute(QByteArrayView attributes, QByteArrayView name)
{
    // Each `="` is the end of an attribute name: compare the name just before it.
    for (qsizetype eq = indexOf(attributes, '=', 0); eq >= 0; eq = indexOf(attributes, '=', eq + 1)) {
        const qsizetype from = eq - name.size();
        if (from < 0 || eq + 1 >= attributes.size() || attributes[eq + 1] != '"' || !equalsAt(attributes, from, name))
            continue;
        if (from > 0 && isNameChar(attributes[from - 1]) && attributes[from - 1] != ':') continue;
        const qsizetype quote = indexOf(attributes, '"', eq + 2);
        if (quote < 0) return std::nullopt;
        return attributes.sliced(eq + 2, quote - eq - 2);
    }
    return std::nullopt;
}

QByteArray decodeEntities(QByteArrayView text)
{
    QByteArray out = text.toByteArray();
    if (indexOf(text, '&', 0) < 0) return out;
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
        // Runs of ASCII, most of any XML part, eight bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p == end) break;
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
