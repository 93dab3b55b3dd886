#include "app/MacWorkspaceSection.h"

namespace tavrin {

namespace {

struct Names {
    const char* raw;
    const char* title;
    const char* symbol;
};

// Indexed by the enumeration's value, in section-bar order.
constexpr Names kNames[] = {
    {"paniers", "Paniers", "basket"},
    {"tableur", "Tableur", "tablecells"},
    {"commandes", "Commandes", "shippingbox"},
};

const Names& names(MacWorkspaceSection section) { return kNames[int(section)]; }

} // namespace

QString rawValue(MacWorkspaceSection section) { return QString::fromLatin1(names(section).raw); }
QString title(MacWorkspaceSection section) { return QString::fromLatin1(names(section).title); }
QString symbol(MacWorkspaceSection section) { return QString::fromLatin1(names(section).symbol); }

std::optional<MacWorkspaceSection> macWorkspaceSectionFrom(const QString& raw)
{
    for (MacWorkspaceSection s : allMacWorkspaceSections)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

} // namespace tavrin
