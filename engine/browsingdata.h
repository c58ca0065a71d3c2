#pragma once

#include <QString>

class DownloadList;

// What the program keeps of the user's browsing besides the address history: cookies,
// site data and cached files. Behind a seam so the windows can be tested without an
// engine.
class BrowsingData
{
public:
    virtual ~BrowsingData() = default;
    // Whether this session keeps what it gathers for the next one.
    virtual bool kept() const = 0;
    // Why this session keeps nothing, for the status bar; empty when it keeps it.
    virtual QString note() const = 0;
    // The folder the profile keeps its data in, also in a session that keeps none there.
    virtual QString dataFolder() const = 0;
    virtual void deleteCookiesAndSiteData() = 0;
    virtual void deleteCachedFiles() = 0;
    // This and earlier sessions' downloads; only this session's when nothing is kept.
    virtual DownloadList &downloads() = 0;
};
