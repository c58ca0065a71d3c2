#pragma once

#include <QDialog>
#include <functional>

class BrowsingData;
struct ProxyChoice;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class SettingsStore;
class StartChoice;

// "Internet Options": what Halvane starts with, delete browsing data, keep it between
// sessions or not, and the proxy the pages and the link ping use. OK keeps the choices in the settings file's
// "Options" section and applies the proxy at once; keeping data takes effect at the
// next start. Delete acts at once, whatever OK or Cancel comes after.
class InternetOptions : public QDialog
{
    Q_OBJECT
public:
    // deleteHistory empties the address history, deleteVisits the visited pages; each
    // false when it could not. Without deleteVisits the choice is not offered.
    InternetOptions(SettingsStore &settings, const QString &application, BrowsingData &data,
                    std::function<bool()> deleteHistory, QWidget *parent, std::function<bool()> deleteVisits = {});

    // Whether the next start keeps browsing data ("Options"/"KeepBrowsingData").
    static bool keepBrowsingData(const SettingsStore &settings, const QString &application);
    // For how many days visited pages are kept ("Options"/"KeepVisitsDays"): older ones go
    // at start.
    static int keepVisitsDays(const SettingsStore &settings, const QString &application);

    QCheckBox *const chkHistory;
    QCheckBox *const chkCookies;
    QCheckBox *const chkCache;
    QCheckBox *const chkVisits;
    QPushButton *const cmdDelete;
    QLabel *const lblDeleted;
    QCheckBox *const chkKeepData;
    QSpinBox *const spnVisitDays;
    QRadioButton *const optNoProxy;
    QRadioButton *const optSystemProxy;
    QRadioButton *const optManualProxy;
    QComboBox *const cboProxyType;
    QLineEdit *const txtProxyHost;
    QSpinBox *const spnProxyPort;
    StartChoice *const fraStart;

    void cmdDelete_Click();
    void accept() override;

private:
    QGroupBox *deletingBox();
    QGroupBox *keepingBox();
    QGroupBox *proxyBox();
    void showProxyChoice(const ProxyChoice &choice);
    void showManualFields();

    SettingsStore &m_settings;
    QString m_application;
    BrowsingData &m_data;
    std::function<bool()> m_deleteHistory;
    std::function<bool()> m_deleteVisits;
    QButtonGroup *m_proxyMode;
    QPushButton *m_ok = nullptr;
};
