#include "engine/crashpage.h"

bool CrashPage::standsIn() const
{
    return m_stage == Stage::StandingIn || m_stage == Stage::Loading || m_stage == Stage::Replacing;
}

bool CrashPage::rendererDied()
{
    // Ours has been shown since the user last loaded (it may be what died): back off.
    const bool show = m_stage == Stage::Alive || m_stage == Stage::Replacing;
    m_stage = Stage::StandingIn;
    return show;
}

bool CrashPage::startShowing()
{
    if (m_stage != Stage::StandingIn)
        return false;
    m_stage = Stage::Loading;
    return true;
}

void CrashPage::shown()
{
    if (m_stage == Stage::Loading)
        m_stage = Stage::StandingIn;
}

void CrashPage::userLoads()
{
    // Should the page the user loads die too, ours is shown again.
    if (m_stage == Stage::StandingIn || m_stage == Stage::Loading)
        m_stage = Stage::Replacing;
    else if (m_stage == Stage::Recovered)
        m_stage = Stage::Alive;
}

void CrashPage::pageCommitted()
{
    if (m_stage == Stage::StandingIn || m_stage == Stage::Loading)
        m_stage = Stage::Recovered;
    else if (m_stage == Stage::Replacing)
        m_stage = Stage::Alive;
}

QString CrashPage::html()
{
    return QStringLiteral("<html><head><title>Page stopped</title></head><body>"
                          "<h1>This page stopped</h1>"
                          "<p>The part of the browser showing it ended unexpectedly. "
                          "Refresh loads the page again.</p></body></html>");
}
