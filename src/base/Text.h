#pragma once

#include <QString>
#include <QStringView>

namespace tavrin::Text {

// White space as users mean it: spaces, tabs and line breaks (every Unicode separator).
inline bool isWhitespaceOrNewline(QChar c) { return c.isSpace(); }

// Spaces and tabs only; line breaks are kept.
inline bool isSpaceOrTab(QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; }

// Names and titles typed by the user are stored trimmed of white space and line breaks.
inline QString trimmed(const QString& s) { return s.trimmed(); }

// Trims spaces and tabs only, leaving line breaks in place.
inline QStringView trimmedSpacesAndTabs(QStringView s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && isSpaceOrTab(s[begin])) ++begin;
    while (end > begin && isSpaceOrTab(s[end - 1])) --end;
    return s.sliced(begin, end - begin);
}

} // namespace tavrin::Text
