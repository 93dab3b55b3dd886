#pragma once

#include <QString>

#include <optional>

namespace tavrin {

// The three sections of the window, in the order of the section bar.
enum class MacWorkspaceSection { paniers, tableur, commandes };

inline constexpr MacWorkspaceSection allMacWorkspaceSections[] = {
    MacWorkspaceSection::paniers, MacWorkspaceSection::tableur, MacWorkspaceSection::commandes};

// "paniers", "tableur", "commandes".
QString rawValue(MacWorkspaceSection section);
std::optional<MacWorkspaceSection> macWorkspaceSectionFrom(const QString& raw);
// "Paniers", "Tableur", "Commandes".
QString title(MacWorkspaceSection section);
// "basket", "tablecells", "shippingbox".
QString symbol(MacWorkspaceSection section);

// The user-defaults key of the section shown; "tableur" when absent or unknown.
inline const QString kMacWorkspaceSectionKey = QStringLiteral("macWorkspaceSection");

} // namespace tavrin
