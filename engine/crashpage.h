#pragma once

#include <QString>

// The short page of ours that stands in for a page whose renderer died, and when it
// is shown. One stopped page for each death of the user's page: when ours dies too,
// the view stays as it is, since every new page would start a renderer that may die
// the same way, for ever. Until something commits, the dead page is still the
// location, and Refresh loads it again.
class CrashPage
{
public:
    // The dead page is still the location: the view shows ours, or the user's next
    // page has not committed.
    bool standsIn() const;
    bool loading() const { return m_stage == Stage::Loading; }

    // The renderer died (not a normal end). True when ours is to be shown, once the
    // engine's report of the death is over.
    bool rendererDied();
    // Ours goes into the view now, unless the user loaded meanwhile or the page is back.
    bool startShowing();
    // Ours has loaded (or failed to).
    void shown();
    // A load of the user's starts: a page ours stood in for may stop again.
    void userLoads();
    // A page committed: the location is a live page again.
    void pageCommitted();

    static QString html();

private:
    enum class Stage {
        Alive,      // the page's renderer lives (or ended normally)
        StandingIn, // it died; ours is in the view, or on its way
        Loading,    // ours loads; the engine's reports of it are no news of the page
        Replacing,  // it died, and the user loads again; nothing has committed yet
        Recovered,  // a page committed over ours without a load of the user's: no
                    // more stopped pages until the user loads one
    };

    Stage m_stage = Stage::Alive;
};
