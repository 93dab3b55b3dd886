#include "showcase/ShowcaseSetup.h"

#include "base/AppSupport.h"
#include "base/FolderReference.h"
#include "base/TavrinJSON.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrin::ShowcaseSetup {

namespace {

// A folder remembered under `key` in a store's JSON file; read only, the store stays the owner.
std::optional<QString> rememberedFolder(const QString& file, QLatin1StringView key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    try {
        if (const std::optional<QByteArray> reference = TavrinJSON::optionalData(o, key))
            if (const auto resolved = FolderReference::resolve(*reference)) return resolved->path;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> ordersRoot(const QString& settingsFile)
{
    return rememberedFolder(settingsFile, QLatin1StringView("rootBookmark"));
}

std::optional<QString> lastOrganisedFolder()
{
    return rememberedFolder(AppSupport::fileInFolder(QStringLiteral("workspace.json")), QLatin1StringView("lastDestinationBookmark"));
}

} // namespace tavrin::ShowcaseSetup
