#pragma once

#include "engine/enginedialogs.h"
#include "engine/pagedialog.h"

#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QStringList>

// Answers the engine's questions as a test set them, and records every question
// as "kind|argument|argument..." in asked, and whether it offered to stop the page's
// dialogs in offeredStop.
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
    // Ticks "Don't let this page show more dialogs" in the question of this number (from
    // 1) when it is offered; 0 never does.
    int stopAt = 0;

    QStringList asked;
    QList<bool> offeredStop;

    QString saveFileName(PageDialog &dialog, const QString &suggestedPath) override
    {
        record(dialog);
        asked << QStringLiteral("save|") + suggestedPath;
        return savePath;
    }
    bool credentials(PageDialog &dialog, const QString &site, const QString &realm, QString *user,
                     QString *password) override
    {
        record(dialog);
        asked << QStringLiteral("credentials|%1|%2").arg(site, realm);
        if (signIns.isEmpty())
            return false;
        const auto answer = signIns.takeFirst();
        *user = answer.first;
        *password = answer.second;
        return true;
    }
    bool acceptCertificateError(PageDialog &dialog, const QString &host, const QString &) override
    {
        record(dialog);
        asked << QStringLiteral("certificate|") + host;
        return acceptCertificate;
    }
    bool grantPermission(PageDialog &dialog, const QString &site, const QString &what) override
    {
        record(dialog);
        asked << QStringLiteral("permission|%1|%2").arg(site, what);
        return grant;
    }
    bool openExternally(PageDialog &dialog, const QString &address) override
    {
        record(dialog);
        asked << QStringLiteral("external|") + address;
        return openOutside;
    }
    void alert(PageDialog &dialog, const QString &title, const QString &text) override
    {
        record(dialog);
        asked << QStringLiteral("alert|%1|%2").arg(title, text);
    }
    bool confirm(PageDialog &dialog, const QString &title, const QString &text) override
    {
        record(dialog);
        asked << QStringLiteral("confirm|%1|%2").arg(title, text);
        return confirmAnswer;
    }
    bool prompt(PageDialog &dialog, const QString &title, const QString &text, const QString &defaultValue,
                QString *result) override
    {
        record(dialog);
        asked << QStringLiteral("prompt|%1|%2|%3").arg(title, text, defaultValue);
        if (promptAnswered)
            *result = promptText;
        return promptAnswered;
    }

    void record(PageDialog &dialog)
    {
        offeredStop << dialog.offerStop();
        if (dialog.offerStop() && stopAt == offeredStop.size())
            dialog.setStopAsked(true);
    }

    QStringList askedOf(const QString &kind) const
    {
        return asked.filter(QRegularExpression(QLatin1Char('^') + kind + QLatin1Char('|')));
    }
};
