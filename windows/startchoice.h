#pragma once

#include <QGroupBox>

class QRadioButton;
class SettingsStore;

// Internet Options' "When Halvane starts": the home page in Document 1, as ever, or the
// document windows of the last session. Kept as "Options"/"StartWith".
class StartChoice : public QGroupBox
{
    Q_OBJECT
public:
    enum class Start { HomePage, LastWindows };

    // Shows the stored choice.
    StartChoice(SettingsStore &settings, const QString &application, QWidget *parent = nullptr);

    // The stored choice; anything but the words saved reads as the home page.
    static Start read(const SettingsStore &settings, const QString &application);
    // Stores the choice shown.
    void save();

    QRadioButton *const optStartHomePage;
    QRadioButton *const optStartLastWindows;

private:
    SettingsStore &m_settings;
    const QString m_application;
};
