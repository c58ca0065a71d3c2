#pragma once

#include <QString>

// The per-user store of text values addressed by application, section and key.
// On Linux: ~/.config/Halvane/<application>.conf, one group per section.
class SettingsStore
{
public:
    // The user's store.
    SettingsStore();
    // A store kept in the given folder instead (tests).
    explicit SettingsStore(QString folder);

    QString get(const QString &application, const QString &section, const QString &key,
                const QString &defaultValue) const;
    void save(const QString &application, const QString &section, const QString &key,
              const QString &value);

private:
    QString m_folder;
};
