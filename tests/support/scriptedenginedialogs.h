#pragma once

#include "platform/enginedialogs.h"

#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QStringList>

// Answers the engine's questions as a test set them, and records every question
// as "kind|argument|argument..." in asked.
class ScriptedEngineDialogs : public EngineDialogs
{
public:
    QString savePath;                              // empty: cancel
    QList<QPair<QString, QString>> signIns;        // used in order; none left: cancel
    bool acceptCertificate = false;
    bool grant = false;
    bool openOutside = false;
    bool confirmAnswer = false;
    bool promptAnswered = false;
    QString promptText;

    QStringList asked;

    QString saveFileName(QWidget *, const QString &suggestedPath) override
    {
        asked << QStringLiteral("save|") + suggestedPath;
        return savePath;
    }
    bool credentials(QWidget *, const QString &site, const QString &realm, QString *user,
                     QString *password) override
    {
        asked << QStringLiteral("credentials|%1|%2").arg(site, realm);
        if (signIns.isEmpty())
            return false;
        const auto answer = signIns.takeFirst();
        *user = answer.first;
        *password = answer.second;
        return true;
    }
    bool acceptCertificateError(QWidget *, const QString &host, const QString &) override
    {
        asked << QStringLiteral("certificate|") + host;
        return acceptCertificate;
    }
    bool grantPermission(QWidget *, const QString &site, const QString &what) override
    {
        asked << QStringLiteral("permission|%1|%2").arg(site, what);
        return grant;
    }
    bool openExternally(QWidget *, const QString &address) override
    {
        asked << QStringLiteral("external|") + address;
        return openOutside;
    }
    void alert(QWidget *, const QString &title, const QString &text) override
    {
        asked << QStringLiteral("alert|%1|%2").arg(title, text);
    }
    bool confirm(QWidget *, const QString &title, const QString &text) override
    {
        asked << QStringLiteral("confirm|%1|%2").arg(title, text);
        return confirmAnswer;
    }
    bool prompt(QWidget *, const QString &title, const QString &text, const QString &defaultValue,
                QString *result) override
    {
        asked << QStringLiteral("prompt|%1|%2|%3").arg(title, text, defaultValue);
        if (promptAnswered)
            *result = promptText;
        return promptAnswered;
    }

    QStringList askedOf(const QString &kind) const
    {
        return asked.filter(QRegularExpression(QLatin1Char('^') + kind + QLatin1Char('|')));
    }
};
