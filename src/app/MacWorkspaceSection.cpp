#include "app/MacWorkspaceSection.h"

namespace tavrin {

QString rawValue(MacWorkspaceSection section)
{
    switch (section) {
    case MacWorkspaceSection::paniers:
        return QStringLiteral("paniers");
    case MacWorkspaceSection::tableur:
        return QStringLiteral("tableur");
    case MacWorkspaceSection::commandes:
        return QStringLiteral("commandes");
    }
    return {};
}

std::optional<MacWorkspaceSection> macWorkspaceSectionFrom(const QString& raw)
{
    for (MacWorkspaceSection s : allMacWorkspaceSections)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

QString title(MacWorkspaceSection section)
{
    switch (section) {
    case MacWorkspaceSection::paniers:
        return QStringLiteral("Paniers");
    case MacWorkspaceSection::tableur:
        return QStringLiteral("Tableur");
    case MacWorkspaceSection::commandes:
        return QStringLiteral("Commandes");
    }
    return {};
}

QString symbol(MacWorkspaceSection section)
{
    switch (section) {
    case MacWorkspaceSection::paniers:
        return QStringLiteral("basket");
    case MacWorkspaceSection::tableur:
        return QStringLiteral("tablecells");
    case MacWorkspaceSection::commandes:
        return QStringLiteral("shippingbox");
    }
    return {};
}

} // namespace tavrin
