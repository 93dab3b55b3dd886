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

namespace {

void appendUtf8(QByteArray& out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code point of the reference body "#233" or "#xE9"; none when it is not one. A number that
// names no character stands as the replacement character, so that no reference is left as text.
std::optional<char32_t> characterReference(QByteArrayView body)
{
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    const QByteArrayView digits = body.sliced(hex ? 2 : 1);
    if (digits.isEmpty()) return std::nullopt;
    quint64 value = 0;
    for (char c : digits) {
        const int d = hex ? hexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return std::nullopt;
        value = std::min<quint64>(value * (hex ? 16 : 10) + quint64(d), 0x110000);
    }
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return U'\uFFFD';
    return char32_t(value);
}

std::optional<char> predefinedEntity(QByteArrayView name)
{
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "quot") return '"';
    if (name == "apos") return '\'';
    return std::nullopt;
}

} // namespace

QByteArray decodeEntities(QByteArrayView text)
{
    if (indexOf(text, '&', 0) < 0) return text.toByteArray();
    QByteArray once = text.toByteArray();
    once.replace("&amp;", "&");
    QByteArray out;
    out.reserve(once.size());
    qsizetype from = 0;
    for (qsizetype amp = indexOf(once, '&', 0); amp >= 0; amp = indexOf(once, '&', from)) {
        out.append(QByteArrayView(once).sliced(from, amp - from));
        from = amp + 1;
        // Names and references are short: a ";" further away ends no entity.
        const qsizetype limit = std::min<qsizetype>(once.size(), amp + 40);
        qsizetype semicolon = amp + 1;
        while (semicolon < limit && once[semicolon] != ';' && once[semicolon] != '&') ++semicolon;
        if (semicolon >= limit || once[semicolon] != ';') {
            out.append('&');
            continue;
        }
        const QByteArrayView body = QByteArrayView(once).sliced(amp + 1, semicolon - amp - 1);
        if (body.startsWith('#')) {
            if (const auto cp = characterReference(body)) {
                appendUtf8(out, *cp);
                from = semicolon + 1;
                continue;
            }
        } else if (const auto c = predefinedEntity(body)) {
            out.append(*c);
            from = semicolon + 1;
            continue;
        }
        out.append('&');
    }
    out.append(QByteArrayView(once).sliced(from));
    return out;
}

QByteArray decodeCellText(QByteArrayView text)
{
    QByteArray decoded = decodeEntities(text);
    if (!decoded.contains("_x")) return decoded;
    QByteArray out;
    out.reserve(decoded.size());
    qsizetype i = 0;
    while (i < decoded.size()) {
        if (decoded[i] == '_' && i + 6 < decoded.size() && decoded[i + 1] == 'x' && decoded[i + 6] == '_') {
            char32_t cp = 0;
            bool ok = true;
            for (qsizetype k = i + 2; k < i + 6 && ok; ++k) {
                const int d = hexValue(decoded[k]);
                ok = d >= 0;
                cp = cp * 16 + char32_t(std::max(d, 0));
            }
            if (ok) {
                appendUtf8(out, (cp >= 0xD800 && cp <= 0xDFFF) ? U'\uFFFD' : cp);
                i += 7;
                continue;
            }
        }
        out.append(decoded[i++]);
    }
    return out;
}

QByteArray extractT(QByteArrayView fragment)
{
    // Phonetic guides (<rPh>) hold <t> runs of their own that are not part of the text.
    QByteArray withoutGuides;
    if (findTag(fragment, "rPh", false, 0) >= 0) {
        qsizetype from = 0;
        ElementScanner guides(fragment, "rPh", true);
        while (const auto guide = guides.next()) {
            const qsizetype start = guide->attributes.data() - fragment.data() - 4; // "<rPh"
            withoutGuides.append(fragment.sliced(from, start - from));
            // Past "</rPh>", or past the "/>" of a self-closing guide.
            from = guide->inner.data() ? guide->inner.data() + guide->inner.size() - fragment.data() + 6
                                       : guide->attributes.data() + guide->attributes.size() - fragment.data() + 2;
        }
        withoutGuides.append(fragment.sliced(from));
        fragment = withoutGuides;
    }
    ElementScanner runs(fragment, "t", true);
    auto run = runs.next();
    if (!run) return decodeCellText(fragment);
    QByteArray joined;
    for (; run; run = runs.next()) joined.append(run->inner);
    return decodeCellText(joined);
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
