#include "programme/FileNameSanitizer.h"

namespace tavrin::FileNameSanitizer {

QString sanitize(QStringView text)
{
    static constexpr QStringView forbidden = u"/:\\?%*|\"<>";
    QString out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (QChar c : text) {
        if (c.isSpace() || forbidden.contains(c)) {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !out.isEmpty()) out.append(u' ');
        pendingSpace = false;
        out.append(c);
    }
    return out;
}

} // namespace tavrin::FileNameSanitizer
