#include "programme/PDFProgrammeParser.h"

#include "base/TavrinModules.h"
#include "base/Text.h"
#include "numbers/AssignedNumber.h"
#include "numbers/NumberText.h"
#include "numbers/PathText.h"
#include "programme/ImportError.h"
#include "programme/TextFolding.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace tavrin::PDFProgrammeParser {

namespace {

using TextFolding::folded;

const QString kProgramme = QStringLiteral("Programme");
const QString kInscriptions = QStringLiteral("Inscriptions");

QRegularExpression pattern(const char* text, QRegularExpression::PatternOptions options = {})
{
    return QRegularExpression(QString::fromUtf8(text), options | QRegularExpression::UseUnicodePropertiesOption);
}

// The few line patterns read on every line are matched by hand: a regular expression costs
// more than the rest of a line's reading. \d and \s are Unicode digits and white space.

qsizetype skipSpaces(QStringView text, qsizetype i)
{
    while (i < text.size() && text[i].isSpace()) ++i;
    return i;
}

qsizetype skipDigits(QStringView text, qsizetype i)
{
    while (i < text.size() && text[i].isDigit()) ++i;
    return i;
}

// ^\s*(\d{1,4})\s+ : the end of the number, or -1.
qsizetype leadingNumberEnd(QStringView text, qsizetype from = 0)
{
    const qsizetype start = skipSpaces(text, from), end = skipDigits(text, start);
    if (end == start || end - start > 4 || end == text.size() || !text[end].isSpace()) return -1;
    return end;
}

// ^\s*\d{1,4}(\s+\d{1,4})?\s+\S+ — the optional group never changes the outcome.
bool isRiderStart(QStringView line)
{
    const qsizetype end = leadingNumberEnd(line);
    return end >= 0 && skipSpaces(line, end) < line.size();
}

// ^\(\s*\d+[.,]\d+\s*m?\s*\)$
bool isHeightOnly(QStringView line)
{
    line = line.trimmed();
    if (line.size() < 5 || line.front() != u'(' || line.back() != u')') return false;
    qsizetype i = skipSpaces(line, 1);
    qsizetype j = skipDigits(line, i);
    if (j == i || j >= line.size() || (line[j] != u'.' && line[j] != u','))
        return false;
    i = skipDigits(line, j + 1);
    if (i == j + 1) return false;
    i = skipSpaces(line, i);
    if (i < line.size() && line[i] == u'm') i = skipSpaces(line, i + 1);
    return i == line.size() - 1;
}

// ^\d{1,2}\s*[h:]\s*\d{2}, as in 14h30 or 9 : 05.
bool startsWithTime(QStringView f)
{
    const qsizetype digits = skipDigits(f, 0);
    if (digits < 1 || digits > 2) return false;
    qsizetype i = skipSpaces(f, digits);
    if (i == f.size() || (f[i] != u'h' && f[i] != u':')) return false;
    i = skipSpaces(f, i + 1);
    return i + 1 < f.size() && f[i].isDigit() && f[i + 1].isDigit();
}

// A piece of a line between runs of two or more spaces, with its position in the line.
struct LineCell {
    qsizetype start;
    QStringView text;
};

QList<LineCell> lineCells(QStringView line)
{
    QList<LineCell> cells;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i].isSpace()) ++i;
        if (i == line.size()) break;
        const qsizetype start = i;
        qsizetype end = i;
        while (i < line.size()) {
            if (!line[i].isSpace()) {
                end = ++i;
                continue;
            }
            qsizetype run = i;
            while (run < line.size() && line[run].isSpace()) ++run;
            if (run - i >= 2 || run == line.size()) break;
            i = run;
        }
        cells.push_back({start, line.sliced(start, end - start)});
        i = end;
    }
    return cells;
}

// The first piece of a text before a run of two or more spaces.
QStringView firstColumn(QStringView text)
{
    const QList<LineCell> cells = lineCells(text);
    return cells.isEmpty() ? QStringView() : cells.front().text;
}

bool isDigits(QStringView token, qsizetype maxLength)
{
    if (token.isEmpty() || token.size() > maxLength) return false;
    for (QChar c : token)
        if (!c.isDigit()) return false;
    return true;
}

bool isWeekday(const QString& foldedToken)
{
    static const QSet<QString> days{QStringLiteral("lundi"),    QStringLiteral("mardi"),  QStringLiteral("mercredi"),
                                    QStringLiteral("jeudi"),    QStringLiteral("vendredi"), QStringLiteral("samedi"),
                                    QStringLiteral("dimanche")};
    return days.contains(foldedToken);
}

bool isMonth(const QString& foldedToken)
{
    static const QSet<QString> months{
        QStringLiteral("janvier"), QStringLiteral("fevrier"), QStringLiteral("mars"),     QStringLiteral("avril"),
        QStringLiteral("mai"),     QStringLiteral("juin"),    QStringLiteral("juillet"),  QStringLiteral("aout"),
        QStringLiteral("septembre"), QStringLiteral("octobre"), QStringLiteral("novembre"), QStringLiteral("decembre")};
    return months.contains(foldedToken);
}

bool isCapitalWord(QStringView token)
{
    qsizetype letters = 0;
    for (QChar c : token) {
        if (c.isLower()) return false;
        letters += c.isLetter() ? 1 : 0;
    }
    return letters >= 2;
}

// Closes events into days: one day per run of the same day name, ids unique in the document.
class EventCollector {
public:
    void close(const QString& day, const QString& title, QList<ImportedPerson>& riders)
    {
        if (riders.isEmpty()) return;
        if (m_days.isEmpty() || m_days.back().name != day) m_days.push_back({day, {}});
        // A repeated day and title gets "|2", "|3"…: only events of the same id are counted, so
        // the ids of distinct titles stay "Day|Title".
        const QString base = day + u'|' + title;
        const int seen = m_idCounts[base]++;
        const QString id = seen == 0 ? base : base + u'|' + QString::number(seen + 1);
        m_days.back().events.push_back({id, title, uniquePeople(riders)});
        riders.clear();
    }
    QList<ProgrammeDay> take() { return std::move(m_days); }

private:
    QList<ProgrammeDay> m_days;
    QHash<QString, int> m_idCounts;
};

bool skippableFolded(QStringView f)
{
    static const QSet<QString> headings{
        QStringLiteral("cavalier"), QStringLiteral("cavaliere"),         QStringLiteral("cheval"),
        QStringLiteral("dossard"),  QStringLiteral("ordre"),             QStringLiteral("club"),
        QStringLiteral("nom"),      QStringLiteral("prenom"),            QStringLiteral("n°"),
        QStringLiteral("liste de partants"), QStringLiteral("engagements"), QStringLiteral("nom du cavalier")};
    return f.startsWith(QLatin1StringView("page ")) || startsWithTime(f) ||
           f.startsWith(QLatin1StringView("liste de depart")) || (f.size() <= 17 && headings.contains(f.toString()));
}

std::optional<QString> eventTitleFolded(QStringView trimmed, QStringView f)
{
    static const QRegularExpression bracketHeight = pattern("\\(\\s*\\d+[.,]\\d+\\s*m?\\s*\\)");
    static const QRegularExpression metreHeight = pattern("\\d+[.,]\\d+\\s*m\\b");
    if (isRiderStart(trimmed) || isHeightOnly(trimmed)) return std::nullopt;
    const bool titled = f.contains(QLatin1StringView("preparatoire")) || f.contains(QLatin1StringView("epreuve")) ||
                        f.contains(QLatin1StringView("grand prix")) || bracketHeight.match(trimmed).hasMatch() ||
                        metreHeight.match(trimmed).hasMatch();
    if (!titled || trimmed.size() <= 2) return std::nullopt;
    // A heading that is nothing but its label ("Epreuve 4") keeps it rather than become blank.
    const QString title = cleanEventTitle(trimmed);
    return title.isEmpty() ? trimmed.toString() : title;
}

std::optional<ImportedPerson> riderOfLine(QStringView trimmed, qint64 sourceLine);

// "12 rue des Écuries" on an invoice or a letter starts like a rider line: the words that begin a
// French street name (after "bis" or "ter") tell it apart.
bool isStreetAddress(QStringView body)
{
    static const QSet<QString> streets{
        QStringLiteral("rue"),     QStringLiteral("avenue"), QStringLiteral("av"),      QStringLiteral("bd"),
        QStringLiteral("boulevard"), QStringLiteral("chemin"), QStringLiteral("allee"),  QStringLiteral("impasse"),
        QStringLiteral("place"),   QStringLiteral("route"),  QStringLiteral("rte"),     QStringLiteral("quai"),
        QStringLiteral("cours"),   QStringLiteral("square"), QStringLiteral("faubourg"), QStringLiteral("lieu-dit"),
        QStringLiteral("hameau"),  QStringLiteral("residence"), QStringLiteral("voie"), QStringLiteral("sentier")};
    const QList<QStringView> words = PersonName::tokens(body);
    qsizetype i = 0;
    const auto word = [&](qsizetype at) {
        QString f = folded(words[at]);
        while (f.endsWith(u'.') || f.endsWith(u',')) f.chop(1);
        return f;
    };
    if (i < words.size() && (word(i) == u"bis" || word(i) == u"ter")) ++i;
    return i < words.size() && streets.contains(word(i));
}

} // namespace

bool isSkippable(QStringView line) { return skippableFolded(folded(line)); }

QString cleanEventTitle(QStringView text)
{
    static const QRegularExpression accented = pattern("^épreuve\\s*(n[°o]?\\s*)?\\d*\\s*[-–:.]?\\s*",
                                                       QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression plain = pattern("^epreuve\\s*(n[°o]?\\s*)?\\d*\\s*[-–:.]?\\s*",
                                                    QRegularExpression::CaseInsensitiveOption);
    QString t = text.toString();
    t.remove(accented);
    t.remove(plain);
    qsizetype b = 0, e = t.size();
    const auto dash = [](QChar c) { return c == u'-' || c == u'\u2013' || c == u':' || c == u' '; };
    while (b < e && dash(t[b])) ++b;
    while (e > b && dash(t[e - 1])) --e;
    return t.sliced(b, e - b).trimmed();
}

std::optional<QString> eventTitle(QStringView line)
{
    const QStringView trimmed = line.trimmed();
    return eventTitleFolded(trimmed, folded(trimmed));
}

bool looksLikeListingName(QStringView text)
{
    const QStringView t = text.trimmed();
    const qsizetype length = NumberText::characters(t).size();
    if (length < 3 || length > 80) return false;
    for (QChar c : t)
        if (c == u'%' || c == u'\u20AC' || c == u'(' || c.isDigit()) return false;
    const QList<QStringView> words = PersonName::tokens(t);
    if (words.size() < 2 || words.size() > 6) return false;
    for (QStringView w : words)
        for (QChar c : w)
            if (!c.isLetter() && !c.isMark() && c != u'\'' && c != u'\u2019' && c != u'-' && c != u'*') return false;
    return true;
}

std::optional<QString> riderName(QStringView body)
{
    static const QRegularExpression licence = pattern("\\d{8}[A-Z-]");
    const auto m = licence.match(body);
    if (m.hasMatch()) {
        // The name follows the licence number, maybe after single-letter category markers.
        for (const LineCell& cell : lineCells(body.sliced(m.capturedEnd()))) {
            QStringList words;
            for (QStringView w : PersonName::tokens(cell.text))
                if (w != u"E" && w != u"J" && w != u"H") words.push_back(w.toString());
            const QString candidate = words.join(u' ');
            if (looksLikeListingName(candidate)) return candidate;
        }
        return std::nullopt;
    }
    // Columns set apart by runs of spaces: the name is the first one.
    const QStringView first = firstColumn(body);
    if (first.size() < body.trimmed().size() && looksLikeListingName(first)) return first.toString();
    return std::nullopt;
}

std::optional<ImportedPerson> rider(QStringView line, qint64 sourceLine)
{
    const QStringView trimmed = line.trimmed();
    if (isSkippable(trimmed)) return std::nullopt;
    return riderOfLine(trimmed, sourceLine);
}

namespace {

// A rider line already trimmed and known not to be skippable.
std::optional<ImportedPerson> riderOfLine(QStringView trimmed, qint64 sourceLine)
{
    // ^\s*(\d{1,4})\s+(\d{1,4})\s+(.+)$ for a start order and a number, else ^\s*(\d{1,4})\s+(.+)$.
    const qsizetype firstEnd = leadingNumberEnd(trimmed);
    if (firstEnd < 0) return std::nullopt;
    const QStringView leading = trimmed.first(firstEnd).trimmed();
    QStringView number = leading, body = trimmed.sliced(skipSpaces(trimmed, firstEnd));
    if (const qsizetype secondEnd = leadingNumberEnd(trimmed, firstEnd); secondEnd >= 0) {
        if (const qsizetype bodyStart = skipSpaces(trimmed, secondEnd); bodyStart < trimmed.size()) {
            number = trimmed.sliced(firstEnd, secondEnd - firstEnd).trimmed();
            body = trimmed.sliced(bodyStart);
        }
    }
    if (body.isEmpty() || isStreetAddress(body)) return std::nullopt;
    const auto canonical = AssignedNumber::canonical(number);
    if (!canonical) return std::nullopt;
    // A table line whose first column is the leading number alone; when the number runs on into
    // the name with single spaces, the first "column" is no column and the body is read instead.
    if (const auto cells = PersonName::columnCells(trimmed); cells && cells->front() == leading) {
        if (auto p = PersonName::person(*cells, 0, std::nullopt, std::nullopt, std::nullopt, sourceLine)) return p;
    }
    const QString name = riderName(body).value_or(body.toString());
    const PersonName::Split split =
        looksLikeListingName(name) ? PersonName::splitListingRider(name) : PersonName::splitFamilyAndGiven(name);
    return ImportedPerson{*canonical, split.first, split.last, sourceLine};
}

} // namespace

QStringList splitRunOn(QStringView text)
{
    struct Token {
        qsizetype start;
        QStringView text;
        QString folded;
    };
    QList<Token> tokens;
    for (QStringView w : PersonName::tokens(text)) tokens.push_back({w.data() - text.data(), w, folded(w)});

    const auto isNumberToken = [&](qsizetype i) { return i < tokens.size() && isDigits(tokens[i].text, 4); };
    const auto startsWord = [&](qsizetype i) {
        return i < tokens.size() && tokens[i].text.front().isLetter() && !tokens[i].text.front().isLower();
    };
    QList<qsizetype> cuts{0};
    bool inHeading = false;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QString& f = tokens[i].folded;
        const bool heading = isWeekday(f) || f.startsWith(QLatin1StringView("epreuve")) ||
                             (f == u"grand" && i + 1 < tokens.size() && tokens[i + 1].folded.startsWith(u"prix") &&
                              !inHeading);
        const bool marker = startsWithTime(f) || (f == u"page" && isNumberToken(i + 1));
        bool riderCut = false;
        if (!heading && !marker && isNumberToken(i) && (i == 0 || !isNumberToken(i - 1))) {
            const qsizetype wordAt = isNumberToken(i + 1) ? i + 2 : i + 1;
            const QString previous = i > 0 ? tokens[i - 1].folded : QString();
            const bool afterLabel = isWeekday(previous) || previous == u"epreuve" || previous == u"n°" ||
                                    previous == u"no" || previous == u"n" || previous == u"page";
            riderCut = startsWord(wordAt) && !isMonth(tokens[wordAt].folded) && !afterLabel &&
                       (!inHeading || isCapitalWord(tokens[wordAt].text));
        }
        if (heading || marker || riderCut) {
            if (i > 0 && cuts.back() != tokens[i].start) cuts.push_back(tokens[i].start);
            inHeading = heading;
        }
    }
    QStringList lines;
    for (qsizetype k = 0; k < cuts.size(); ++k) {
        const qsizetype end = k + 1 < cuts.size() ? cuts[k + 1] : text.size();
        const QStringView piece = text.sliced(cuts[k], end - cuts[k]).trimmed();
        if (!piece.isEmpty()) lines.push_back(piece.toString());
    }
    return lines;
}

QStringList pageLines(QStringView pageText)
{
    QString text = pageText.toString();
    text.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar(0x00A0), u' ');
    QStringList lines;
    for (QStringView line : QStringView(text).split(u'\n')) lines.push_back(Text::trimmedSpacesAndTabs(line).toString());
    if (lines.size() < 3 && NumberText::characters(text).size() >= 81) lines = splitRunOn(text);
    lines.removeIf([](const QString& l) { return l.isEmpty(); });
    return lines;
}

QList<ProgrammeDay> assemble(const QStringList& lines)
{
    EventCollector events;
    QString day = kProgramme;
    std::optional<QString> title;
    QList<ImportedPerson> riders;
    const auto close = [&] {
        if (title) events.close(day, *title, riders);
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = QStringView(lines[i]).trimmed();
        // Folded once: every test below but the rider's own reads the folded text.
        const QString f = folded(line);
        if (skippableFolded(f)) continue;
        if (const auto d = ImportParser::dayNameInFolded(f)) {
            close();
            day = *d;
        } else if (isHeightOnly(line)) {
            if (title && !title->contains(u'(')) *title += u' ' + line;
        } else if (const auto t = eventTitleFolded(line, f)) {
            close();
            title = *t;
        } else if (auto r = riderOfLine(line, i + 1)) {
            if (!title) title = kInscriptions;
            riders.push_back(std::move(*r));
        }
    }
    close();
    return events.take();
}

std::optional<ProgrammeDocument> parseFFEListing(const QStringList& pages, const QString& sourceName)
{
    static const QRegularExpression competition = pattern("^(.+?)\\s*-\\s*N[°o]\\s*\\d+");
    static const QRegularExpression eventHeading =
        pattern("(?:E|É)preuve\\s+(\\d+)\\s*[-–]\\s*(.+?)\\s*-\\s*\\d+\\s+engag", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression licenceBlock = pattern("^[AP]\\s+[A-Z]{1,2}\\d?\\s+\\d{2}\\s+\\d{7}[A-Z]\\b");

    const QStringList firstPages = pages.mid(0, 3);
    const QString opening = folded(firstPages.join(u'\n'));
    if (!opening.contains(QLatin1StringView("nom du cavalier")) ||
        !(opening.contains(QLatin1StringView("liste de depart")) || opening.contains(QLatin1StringView("numero sire")) ||
          opening.contains(QLatin1StringView("epreuve"))))
        return std::nullopt;

    // The day is the competition's name ("Grand National de Lamotte - N° 202456789"), first on the
    // opening pages, else on a later one.
    const auto competitionName = [&](const QStringList& texts) -> std::optional<QString> {
        for (const QString& page : texts)
            for (QStringView line : QStringView(page).split(u'\n')) {
                const auto m = competition.match(line.trimmed());
                if (!m.hasMatch()) continue;
                const QList<LineCell> cells = lineCells(m.capturedView(1));
                if (!cells.isEmpty()) return cells.back().text.trimmed().toString();
            }
        return std::nullopt;
    };
    const QString day = competitionName(firstPages).value_or(competitionName(pages.mid(3)).value_or(kProgramme));

    EventCollector events;
    QString title = kInscriptions;
    QList<ImportedPerson> riders;
    QStringList nameParts;
    bool inEntry = false;
    qint64 lineNumber = 0, entryLine = 0; // over all pages, 1-based
    // Where the rider column stands on the current page, in characters; kept from the page before
    // when a page repeats no heading.
    qsizetype columnStart = -1, columnEnd = -1;
    const auto finishEntry = [&] {
        const QString name = nameParts.join(u' ').simplified();
        if (inEntry && !name.isEmpty()) {
            const PersonName::Split split = PersonName::splitListingRider(name);
            riders.push_back({QString::number(riders.size() + 1), split.first, split.last, entryLine});
        }
        nameParts.clear();
        inEntry = false;
    };
    const auto riderCell = [&](QStringView line, qsizetype from) -> QStringView {
        for (const LineCell& cell : lineCells(line)) {
            if (cell.start < from) continue;
            if (columnStart < 0) return cell.text;
            if (cell.start >= columnStart - 3 && (columnEnd < 0 || cell.start < columnEnd)) return cell.text;
        }
        return {};
    };

    for (const QString& page : pages) {
        const QList<QStringView> lines = QStringView(page).split(u'\n');
        for (QStringView line : lines) {
            ++lineNumber;
            const qsizetype heading = line.indexOf(QLatin1StringView("nom du cavalier"), 0, Qt::CaseInsensitive);
            if (heading >= 0) {
                finishEntry();
                columnStart = heading;
                columnEnd = -1;
                for (const LineCell& cell : lineCells(line))
                    if (cell.start > heading + 15) {
                        columnEnd = cell.start;
                        break;
                    }
                continue;
            }
            if (const auto m = eventHeading.match(line); m.hasMatch()) {
                finishEntry();
                events.close(day, title, riders);
                title = QStringLiteral("Épreuve ") + m.captured(1) + QStringLiteral(" – ") + m.captured(2).trimmed();
                continue;
            }
            const QStringView trimmed = line.trimmed();
            const qsizetype indent = trimmed.isEmpty() ? line.size() : trimmed.data() - line.data();
            if (const auto m = licenceBlock.match(trimmed); m.hasMatch()) {
                finishEntry();
                inEntry = true;
                entryLine = lineNumber;
                const QStringView cell = riderCell(line, indent + m.capturedEnd());
                if (!cell.isEmpty()) nameParts.push_back(cell.toString());
                continue;
            }
            if (!inEntry) continue;
            // A continuation line carries the rest of the name in the rider column; a blank line,
            // a page line or text in the columns before it ends the entry.
            if (trimmed.isEmpty() || isSkippable(trimmed) || columnStart < 0 || indent < columnStart - 3) {
                finishEntry();
                continue;
            }
            const QStringView cell = riderCell(line, 0);
            if (!cell.isEmpty()) nameParts.push_back(cell.toString());
        }
        finishEntry();
    }
    events.close(day, title, riders);
    QList<ProgrammeDay> days = events.take();
    if (days.isEmpty()) return std::nullopt;
    return ProgrammeDocument{sourceName, days};
}

QStringList pageTexts(const QString& path)
{
    // Poppler and its libraries are loaded the first time a PDF is read, never at start-up.
    using Reader = bool (*)(const QString& path, QStringList& pages);
    static QString missing;
    static const auto reader = reinterpret_cast<Reader>(
        TavrinModules::resolve(QStringLiteral("tavrin_pdf.so"), "tavrin_pdf_page_texts", QStringLiteral("lecture des PDF"), &missing));
    if (!reader) throw Error(missing);
    QStringList pages;
    if (!reader(path, pages)) throw ImportError::unreadable();
    return pages;
}

ProgrammeDocument parsePageTexts(const QStringList& pages, const QString& sourceName)
{
    if (auto federation = parseFFEListing(pages, sourceName)) return *federation;
    QStringList lines;
    for (const QString& page : pages) lines.append(pageLines(page));
    return ProgrammeDocument{sourceName, assemble(lines)};
}

ProgrammeDocument parse(const QString& path)
{
    return parsePageTexts(pageTexts(path), PathText::lastPathComponent(path).toString());
}

} // namespace tavrin::PDFProgrammeParser
