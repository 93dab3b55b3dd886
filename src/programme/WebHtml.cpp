#include "programme/WebHtml.h"

#include <QHash>

namespace tavrin::WebHtml {

namespace {

// Enough for any real element by orders of magnitude; a page built to make the matcher
// backtrack gives up on that element instead of taking minutes.
constexpr QStringView kMatchLimit = u"(*LIMIT_MATCH=200000)";

const QHash<QString, char16_t>& namedEntities()
{
    static const QHash<QString, char16_t> table{
        {QStringLiteral("nbsp"), u' '},     {QStringLiteral("amp"), u'&'},      {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},    {QStringLiteral("lt"), u'<'},       {QStringLiteral("gt"), u'>'},
        {QStringLiteral("eacute"), u'é'},   {QStringLiteral("egrave"), u'è'},   {QStringLiteral("ecirc"), u'ê'},
        {QStringLiteral("euml"), u'ë'},     {QStringLiteral("agrave"), u'à'},   {QStringLiteral("aacute"), u'á'},
        {QStringLiteral("acirc"), u'â'},    {QStringLiteral("auml"), u'ä'},     {QStringLiteral("ccedil"), u'ç'},
        {QStringLiteral("icirc"), u'î'},    {QStringLiteral("iuml"), u'ï'},     {QStringLiteral("iacute"), u'í'},
        {QStringLiteral("ocirc"), u'ô'},    {QStringLiteral("ouml"), u'ö'},     {QStringLiteral("oacute"), u'ó'},
        {QStringLiteral("ugrave"), u'ù'},   {QStringLiteral("uacute"), u'ú'},   {QStringLiteral("ucirc"), u'û'},
        {QStringLiteral("uuml"), u'ü'},     {QStringLiteral("yuml"), u'ÿ'},     {QStringLiteral("ntilde"), u'ñ'},
        {QStringLiteral("oelig"), u'œ'},    {QStringLiteral("aelig"), u'æ'},    {QStringLiteral("szlig"), u'ß'},
        {QStringLiteral("Eacute"), u'É'},   {QStringLiteral("Egrave"), u'È'},   {QStringLiteral("Ecirc"), u'Ê'},
        {QStringLiteral("Euml"), u'Ë'},     {QStringLiteral("Agrave"), u'À'},   {QStringLiteral("Acirc"), u'Â'},
        {QStringLiteral("Auml"), u'Ä'},     {QStringLiteral("Ccedil"), u'Ç'},   {QStringLiteral("Icirc"), u'Î'},
        {QStringLiteral("Iuml"), u'Ï'},     {QStringLiteral("Ocirc"), u'Ô'},    {QStringLiteral("Ouml"), u'Ö'},
        {QStringLiteral("Ugrave"), u'Ù'},   {QStringLiteral("Ucirc"), u'Û'},    {QStringLiteral("Uuml"), u'Ü'},
        {QStringLiteral("Ntilde"), u'Ñ'},   {QStringLiteral("OElig"), u'Œ'},    {QStringLiteral("AElig"), u'Æ'},
        {QStringLiteral("laquo"), u'«'},    {QStringLiteral("raquo"), u'»'},    {QStringLiteral("ndash"), u'–'},
        {QStringLiteral("mdash"), u'—'},    {QStringLiteral("lsquo"), u'‘'},    {QStringLiteral("rsquo"), u'’'},
        {QStringLiteral("ldquo"), u'“'},    {QStringLiteral("rdquo"), u'”'},    {QStringLiteral("hellip"), u'…'},
        {QStringLiteral("middot"), u'·'},   {QStringLiteral("deg"), u'°'},      {QStringLiteral("euro"), u'€'},
        {QStringLiteral("copy"), u'©'},     {QStringLiteral("reg"), u'®'},      {QStringLiteral("times"), u'×'},
    };
    return table;
}

// The code point of "#233" or "#xE9"; none when it is not a number.
std::optional<char32_t> numericEntity(QStringView body)
{
    bool ok = false;
    const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
    const QStringView digits = body.sliced(hex ? 2 : 1);
    if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        const bool decimal = u >= u'0' && u <= u'9';
        if (!(decimal || (hex && ((u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F'))))) return std::nullopt;
    }
    const uint value = digits.toUInt(&ok, hex ? 16 : 10);
    if (!ok) return std::nullopt;
    // A code point that cannot be written stands as the replacement character.
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return U'\uFFFD';
    return char32_t(value);
}

// Removes every <…> tag, as the pattern <[^>]+> would, in one walk: once no ">" follows a "<",
// no later tag can close either.
QString withoutTags(QStringView text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype lt = text.indexOf(u'<', i);
        if (lt < 0) break;
        const qsizetype gt = text.indexOf(u'>', lt + 1);
        if (gt < 0) break;
        out.append(text.sliced(i, lt - i));
        if (gt == lt + 1) {
            out.append(u'<'); // "<>" is not a tag
            i = lt + 1;
        } else {
            i = gt + 1;
        }
    }
    out.append(text.sliced(i));
    return out;
}

} // namespace

qsizetype indexOfTag(QStringView text, QStringView tag, qsizetype from)
{
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    // Every tag starts with "<", which a plain character search finds fast; the rest is compared
    // without case, ASCII only as tag names are.
    for (qsizetype at = text.indexOf(u'<', from); at >= 0; at = text.indexOf(u'<', at + 1)) {
        if (text.size() - at < tag.size()) return -1;
        qsizetype i = 1;
        while (i < tag.size() && lower(text[at + i].unicode()) == lower(tag[i].unicode())) ++i;
        if (i == tag.size()) return at;
    }
    return -1;
}

QRegularExpression pattern(QStringView source)
{
    QRegularExpression re(kMatchLimit + source, QRegularExpression::CaseInsensitiveOption);
    re.optimize();
    return re;
}

std::optional<QRegularExpressionMatch> find(const QRegularExpression& re, QStringView text, qsizetype from)
{
    if (from > text.size()) return std::nullopt;
    QRegularExpressionMatch m = re.match(text, int(from), QRegularExpression::NormalMatch,
                                         QRegularExpression::DontCheckSubjectStringMatchOption);
    if (!m.hasMatch()) return std::nullopt;
    return m;
}

ElementScanner::ElementScanner(QStringView text, const QRegularExpression& open, QStringView close)
    : m_text(text), m_open(open), m_close(close)
{
}

std::optional<Element> ElementScanner::next()
{
    if (m_done) return std::nullopt;
    std::optional<QRegularExpressionMatch> open = find(m_open, m_text, m_pos);
    const qsizetype innerStart = open ? open->capturedEnd(0) : 0;
    const qsizetype close = open ? indexOfTag(m_text, m_close, innerStart) : -1;
    // Without a closing tag after this opening, none follows a later one either.
    if (close < 0) {
        m_done = true;
        return std::nullopt;
    }
    m_pos = close + m_close.size();
    const qsizetype start = open->capturedStart(0);
    return Element{std::move(*open), m_text.sliced(innerStart, close - innerStart), start, m_pos};
}

std::optional<Element> firstElement(QStringView text, const QRegularExpression& open, QStringView close)
{
    return ElementScanner(text, open, close).next();
}

QString decodingHTMLEntities(QStringView text)
{
    qsizetype amp = text.indexOf(u'&');
    if (amp < 0) return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (amp >= 0) {
        out.append(text.sliced(i, amp - i));
        i = amp;
        // Names and numbers are short: a ";" farther away is not this entity's end.
        const qsizetype semi = text.sliced(amp + 1, qMin<qsizetype>(12, text.size() - amp - 1)).indexOf(u';');
        if (semi > 0) {
            const QStringView body = text.sliced(amp + 1, semi);
            if (body.startsWith(u'#')) {
                if (const auto code = numericEntity(body)) {
                    out.append(QString::fromUcs4(&*code, 1));
                    i = amp + semi + 2;
                }
            } else if (const auto named = namedEntities().constFind(body.toString()); named != namedEntities().cend()) {
                out.append(QChar(*named));
                i = amp + semi + 2;
            }
        }
        if (i == amp) { // not an entity: the "&" is text
            out.append(u'&');
            ++i;
        }
        amp = text.indexOf(u'&', i);
    }
    out.append(text.sliced(i));
    return out;
}

QString cleaned(QStringView fragment)
{
    static const QRegularExpression lineBreak = pattern(u"<br\\s*/?>");
    QString text = fragment.toString();
    if (text.contains(u'<')) {
        text.replace(lineBreak, QStringLiteral(" "));
        text = withoutTags(text);
    }
    if (text.contains(u'&')) text = decodingHTMLEntities(text);
    // simplified() takes every Unicode space, the no-break space written as a character included.
    return text.simplified();
}

} // namespace tavrin::WebHtml
