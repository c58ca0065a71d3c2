#pragma once

// An Xvfb of a benchmark's own, on the first free display from :140.

#include "benchfigures.h"
#include "support/processtree.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

class VirtualDisplay
{
public:
    ~VirtualDisplay()
    {
        if (m_x.state() != QProcess::NotRunning) {
            m_x.terminate();
            if (!m_x.waitForFinished(5000))
                m_x.kill();
            m_x.waitForFinished(5000);
        }
    }

    // screen as Xvfb takes it, e.g. "1600x1200x24". It never resets: one that does when
    // its last client leaves turns away a program starting meanwhile.
    bool start(const QString &screen)
    {
        for (int n = 140; n < 200; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
                || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            processtree::endWithParent(m_x);
            m_x.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"),
                                               QStringLiteral("0"), screen, QStringLiteral("-nolisten"),
                                               QStringLiteral("tcp"), QStringLiteral("-noreset")});
            if (!m_x.waitForStarted(5000))
                return false;
            benchfigures::waitFor([n] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 10000);
            if (m_x.state() == QProcess::Running) {
                name = QStringLiteral(":%1").arg(n);
                return true;
            }
        }
        return false;
    }

    QString name;

private:
    QProcess m_x;
};
