#include "numbers/PathText.h"

namespace tavrin::PathText {

namespace {

QStringView withoutTrailingSlashes(QStringView path)
{
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    return path;
}

// Index of the extension's dot in `path`, or -1.
qsizetype extensionDot(QStringView path)
{
    const qsizetype componentStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot <= componentStart) return -1;
    // ".." names a folder, not a file with an empty extension.
    if (dot == path.size() - 1 && dot == componentStart + 1 && path[componentStart] == u'.') return -1;
    return dot;
}

} // namespace

QStringView lastPathComponent(QStringView path)
{
    path = withoutTrailingSlashes(path);
    if (path == u"/") return path;
    return path.sliced(path.lastIndexOf(u'/') + 1);
}

QStringView pathExtension(QStringView path)
{
    path = withoutTrailingSlashes(path);
    const qsizetype dot = extensionDot(path);
    return dot < 0 ? QStringView() : path.sliced(dot + 1);
}

QStringView deletingPathExtension(QStringView path)
{
    const QStringView fixed = withoutTrailingSlashes(path);
    const qsizetype dot = extensionDot(fixed);
    return dot < 0 ? path : fixed.first(dot);
}

} // namespace tavrin::PathText
