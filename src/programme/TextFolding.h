#pragma once

// The text folds the name and heading rules compare with: diacritics removed (é → e), and French
// upper-casing for names shown and written on folders.

#include <QString>
#include <QStringView>

namespace tavrin::TextFolding {

// Removes diacritical marks, keeping case: "Élodie" → "Elodie".
QString foldDiacritics(QStringView text);

// Diacritics removed and lower-cased: "Épreuve" → "epreuve".
QString folded(QStringView text);

// Upper case with the French rules.
QString frenchUpper(const QString& text);

} // namespace tavrin::TextFolding
