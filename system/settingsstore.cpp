#include "system/settingsstore.h"

#include "system/quietlog.h"

#include <QDir>
#include <QSettings>
#include <memory>

namespace {

std::unique_ptr<QSettings> open(const QString &folder, const QString &application)
{
    if (folder.isEmpty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("Halvane"), application);
    return std::make_unique<QSettings>(QDir(folder).filePath(application + QStringLiteral(".conf")),
                                       QSettings::IniFormat);
}

} // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString SettingsStore::get(const QString &application, const QString &section, const QString &key,
                           const QString &defaultValue) const
{
    auto s = open(m_folder, application);
    const QVariant v = s->value(section + QLatin1Char('/') + key);
    // A value the store cannot give as text (a list, say) counts as missing.
    if (!v.isValid() || !v.canConvert<QString>())
        return defaultValue;
    return v.toString();
}

void SettingsStore::save(const QString &application, const QString &section, const QString &key,
                         const QString &value)
{
    auto s = open(m_folder, application);
    s->setValue(section + QLatin1Char('/') + key, value);
    s->sync();
    // Nothing tells the user; the log says where, once.
    if (s->status() == QSettings::AccessError)
        quietlog::warnOnce(lcSettings(), QStringLiteral("Settings were not saved: %1 cannot be written.")
                                             .arg(QDir::toNativeSeparators(s->fileName())));
}
