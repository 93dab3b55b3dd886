#include "programme/PersonName.h"

#include "numbers/AssignedNumber.h"
#include "numbers/NumberText.h"
#include "programme/TextFolding.h"

#include <QSet>

namespace tavrin::PersonName {

namespace {

using TextFolding::folded;

const QSet<QString>& familyParticles()
{
    static const QSet<QString> set{
        QStringLiteral("de"),    QStringLiteral("du"),    QStringLiteral("des"),   QStringLiteral("d"),
        QStringLiteral("la"),    QStringLiteral("le"),    QStringLiteral("les"),   QStringLiteral("van"),
        QStringLiteral("von"),   QStringLiteral("der"),   QStringLiteral("den"),   QStringLiteral("ten"),
        QStringLiteral("ter"),   QStringLiteral("di"),    QStringLiteral("da"),    QStringLiteral("del"),
        QStringLiteral("della"), QStringLiteral("dello"), QStringLiteral("dei"),   QStringLiteral("st"),
        QStringLiteral("ste"),   QStringLiteral("saint"), QStringLiteral("sainte"), QStringLiteral("mc"),
        QStringLiteral("mac")};
    return set;
}

const QSet<QString>& listingCompoundGivenNames()
{
    static const QSet<QString> set{
        QStringLiteral("jean marc"),     QStringLiteral("jean paul"),    QStringLiteral("jean luc"),
        QStringLiteral("jean pierre"),   QStringLiteral("jean charles"), QStringLiteral("jean claude"),
        QStringLiteral("jean francois"), QStringLiteral("jean yves"),    QStringLiteral("jean noel"),
        QStringLiteral("jean baptiste"), QStringLiteral("jean renaud"),  QStringLiteral("jean xavier"),
        QStringLiteral("pierre louis"),  QStringLiteral("marie pierre"), QStringLiteral("marie claire"),
        QStringLiteral("marie laure"),   QStringLiteral("lisa marie"),   QStringLiteral("anne sophie"),
        QStringLiteral("anne laure"),    QStringLiteral("lou ann"),      QStringLiteral("talya andrea"),
        QStringLiteral("vincent alice")};
    return set;
}

const QSet<QString>& compoundSecondWords()
{
    static const QSet<QString> set{
        QStringLiteral("pierre"),   QStringLiteral("marie"),   QStringLiteral("paul"),     QStringLiteral("louis"),
        QStringLiteral("anne"),     QStringLiteral("claude"),  QStringLiteral("francois"), QStringLiteral("jacques"),
        QStringLiteral("charles"),  QStringLiteral("andre"),   QStringLiteral("luc"),      QStringLiteral("yves"),
        QStringLiteral("michel"),   QStringLiteral("philippe"), QStringLiteral("baptiste"), QStringLiteral("noel"),
        QStringLiteral("lise"),     QStringLiteral("laure"),   QStringLiteral("eline")};
    return set;
}

QString joined(const QList<QStringView>& words, qsizetype from, qsizetype to)
{
    QString out;
    for (qsizetype i = from; i < to; ++i) {
        if (i > from) out.append(u' ');
        out.append(words[i]);
    }
    return out;
}

bool isParticle(QStringView token)
{
    QString f = folded(token);
    qsizetype b = 0, e = f.size();
    while (b < e && (f[b] == u'\'' || f[b] == u'\u2019')) ++b;
    while (e > b && (f[e - 1] == u'\'' || f[e - 1] == u'\u2019')) --e;
    return familyParticles().contains(f.sliced(b, e - b));
}

// At least two letters, and written in capitals once diacritics are set aside.
bool isFamilyToken(QStringView token)
{
    qsizetype letters = 0;
    for (QStringView c : NumberText::characters(token)) letters += NumberText::isLetter(c) ? 1 : 0;
    if (letters < 2) return false;
    const QString plain = TextFolding::foldDiacritics(token);
    return plain == TextFolding::frenchUpper(plain);
}

// A cell that reads as an assigned number: it begins with a digit, or a short code of letters
// ("FRA", "N°", "No.") stands before its digits and nothing but "HC" after them. A name holding
// a digit ("Quick Star 2") is no number.
bool readsAsNumber(QStringView text)
{
    // Code units, not characters: this runs on the name cell of every row, and digits, letters
    // and the few signs allowed are single code units (marks go with their letter).
    qsizetype digit = 0;
    while (digit < text.size() && !text[digit].isDigit()) ++digit;
    if (digit == text.size()) return false;
    if (digit == 0) return true;
    qsizetype letters = 0;
    bool spaceAfterLetters = false;
    for (qsizetype i = 0; i < digit; ++i) {
        const QChar c = text[i];
        if (c.isLetter()) {
            if (spaceAfterLetters) return false; // a second word
            ++letters;
        } else if (c.isSpace()) {
            spaceAfterLetters = letters > 0;
        } else if (!c.isMark() && !QStringView(u"°º#.:-").contains(c)) {
            return false;
        }
    }
    if (letters == 0 || letters > 4) return false;
    qsizetype end = digit;
    while (end < text.size() && text[end].isDigit()) ++end;
    QString rest;
    for (qsizetype i = end; i < text.size(); ++i)
        if (text[i].isLetter()) rest.append(text[i]);
    return rest.isEmpty() || rest.compare(u"hc", Qt::CaseInsensitive) == 0;
}

} // namespace

QList<QStringView> tokens(QStringView text)
{
    QList<QStringView> out;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool space = i == text.size() || text[i].isSpace();
        if (space && start >= 0) {
            out.push_back(text.sliced(start, i - start));
            start = -1;
        } else if (!space && start < 0) {
            start = i;
        }
    }
    return out;
}

Split splitFamilyAndGiven(QStringView text)
{
    const QList<QStringView> words = tokens(text);
    if (words.size() < 2) return {QString(), text.trimmed().toString()};
    qsizetype familyEnd = 0;
    while (familyEnd < words.size()) {
        const bool particle = isParticle(words[familyEnd]);
        ++familyEnd;
        if (!particle) break;
    }
    qsizetype givenEnd = words.size();
    if (words.size() - familyEnd > 2)
        givenEnd = familyEnd + (compoundSecondWords().contains(folded(words[familyEnd + 1])) ? 2 : 1);
    return {joined(words, familyEnd, givenEnd), joined(words, 0, familyEnd)};
}

Split splitListingRider(QStringView text)
{
    const QList<QStringView> words = tokens(text);
    const qsizetype n = words.size();
    if (n < 2) return {QString(), text.trimmed().toString()};
    if (n == 2) return {words[1].toString(), words[0].toString()};
    const QString lastTwo = joined(words, n - 2, n);
    if (listingCompoundGivenNames().contains(folded(lastTwo))) return {lastTwo, joined(words, 0, n - 2)};
    return {words[n - 1].toString(), joined(words, 0, n - 1)};
}

Split splitWebsiteRider(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    const QList<QStringView> words = tokens(trimmed);
    const qsizetype n = words.size();
    if (n < 2) return {QString(), trimmed.toString()};
    QList<bool> family;
    for (QStringView w : words) family.push_back(isFamilyToken(w));
    const qsizetype firstFamily = family.indexOf(true);
    const bool allFamily = !family.contains(false);
    if (firstFamily == 0 && !allFamily) return splitListingRider(trimmed);
    if (firstFamily > 0) return {joined(words, 0, firstFamily), joined(words, firstFamily, n)};
    return {joined(words, 0, n - 1), words[n - 1].toString()};
}

std::optional<QStringList> columnCells(QStringView line)
{
    const QStringView trimmed = line.trimmed();
    QStringList cells;
    if (trimmed.contains(u'\t')) {
        for (QStringView piece : trimmed.split(u'\t')) cells.push_back(piece.trimmed().toString());
        return cells;
    }
    // Cut at runs of two or more white-space characters.
    qsizetype start = 0, i = 0;
    while (i < trimmed.size()) {
        if (!trimmed[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < trimmed.size() && trimmed[end].isSpace()) ++end;
        if (end - i >= 2) {
            if (const QStringView piece = trimmed.sliced(start, i - start).trimmed(); !piece.isEmpty())
                cells.push_back(piece.toString());
            start = end;
        }
        i = end;
    }
    if (const QStringView piece = trimmed.sliced(start).trimmed(); !piece.isEmpty()) cells.push_back(piece.toString());
    if (cells.size() > 2) return cells;
    return std::nullopt;
}

QString cell(const QStringList& row, ColumnIndex index)
{
    if (!index || *index < 0 || *index >= row.size()) return QString();
    return row[*index].trimmed();
}

std::optional<ImportedPerson> person(const QStringList& row, qsizetype numberIndex, ColumnIndex last, ColumnIndex first,
                                     ColumnIndex full, qint64 sourceLine)
{
    if (row.isEmpty()) return std::nullopt;
    qsizetype numberCell = std::clamp<qsizetype>(numberIndex, 0, row.size() - 1);
    auto number = AssignedNumber::canonical(QStringView(row[numberCell]).trimmed());
    // A start-order column followed by the number column: the number is the second one, also
    // when letters come before its digits ("FRA 123", "N°12"), whose first digit run is then the
    // number. The next cell must read as a number, else a name right after the number (canonical
    // forms exist for any non-blank text) would be taken for the number.
    if (number && numberCell + 1 < row.size()) {
        const QStringView next = QStringView(row[numberCell + 1]).trimmed();
        if (readsAsNumber(next)) {
            if (auto shifted = AssignedNumber::canonical(next)) {
                ++numberCell;
                number = std::move(shifted);
            }
        }
    }
    if (!number) return std::nullopt;

    QString familyText, givenText;
    if (full && *full >= 0 && *full < row.size() && !row[*full].trimmed().isEmpty()) {
        familyText = row[*full].trimmed();
    } else if (last || first) {
        familyText = cell(row, last);
        givenText = cell(row, first);
    } else {
        familyText = cell(row, numberCell + 1);
        givenText = cell(row, numberCell + 2);
    }
    const Split split = splitFamilyAndGiven(familyText);
    ImportedPerson p{*number, QString(), QString(), sourceLine};
    if (!split.first.isEmpty()) {
        p.firstName = split.first;
        p.lastName = split.last;
    } else {
        p.firstName = givenText;
        p.lastName = split.last.isEmpty() ? familyText : split.last;
    }
    if (p.firstName.isEmpty() && p.lastName.isEmpty()) return std::nullopt;
    return p;
}

} // namespace tavrin::PersonName
