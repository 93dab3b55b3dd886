#include "base/UserDefaults.h"

#include "base/AppSupport.h"

namespace tavrin {

namespace {
std::unique_ptr<UserDefaults>& standardSlot()
{
    static std::unique_ptr<UserDefaults> slot;
    return slot;
}
} // namespace

UserDefaults::UserDefaults(const QString& iniPath)
    : m_path(iniPath), m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

UserDefaults& UserDefaults::standard()
{
    auto& slot = standardSlot();
    const QString path = AppSupport::defaultsFile();
    if (!slot || slot->path() != path) slot = std::make_unique<UserDefaults>(path);
    return *slot;
}

void UserDefaults::resetStandard() { standardSlot().reset(); }

std::optional<QString> UserDefaults::string(const QString& key) const
{
    const QVariant v = m_settings->value(key);
    if (!v.isValid() || v.typeId() == QMetaType::QStringList) return std::nullopt;
    return v.toString();
}

void UserDefaults::setString(const QString& key, const QString& value) { m_settings->setValue(key, value); }

QStringList UserDefaults::stringList(const QString& key) const { return m_settings->value(key).toStringList(); }

void UserDefaults::setStringList(const QString& key, const QStringList& value) { m_settings->setValue(key, value); }

std::optional<bool> UserDefaults::boolValue(const QString& key) const
{
    const QVariant v = m_settings->value(key);
    if (!v.isValid()) return std::nullopt;
    const QString text = v.toString().toLower();
    if (text == u"true" || text == u"1") return true;
    if (text == u"false" || text == u"0") return false;
    return std::nullopt;
}

void UserDefaults::setBool(const QString& key, bool value) { m_settings->setValue(key, value); }
bool UserDefaults::contains(const QString& key) const { return m_settings->contains(key); }
void UserDefaults::remove(const QString& key) { m_settings->remove(key); }
void UserDefaults::synchronize() { m_settings->sync(); }

} // namespace tavrin
