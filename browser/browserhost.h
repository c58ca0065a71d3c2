#pragma once

class QString;
class ToolsPanelDisplay;
class WebBrowser;
class ZoomLevels;
struct Measurements;

// What a document window reaches outside itself: the main window's status line, the
// one tools panel and the measurements all windows share.
class BrowserHost
{
public:
    virtual ~BrowserHost() = default;
    // Panel 1 of the main window's status bar.
    virtual void writeStatusText(const QString &text) = 0;
    // The tools panel, loaded (and so shown) first when it is not loaded: a write to a
    // panel the user closed brings it back.
    virtual ToolsPanelDisplay &loadedToolsPanel() = 0;
    virtual Measurements &measurements() = 0;
    // Says text over panel 1 for a moment; panel 1 keeps its own text meanwhile.
    virtual void flashStatusText(const QString &text) = 0;
    // The zoom level of each host, shared by all document windows.
    virtual ZoomLevels &zoomLevels() = 0;
    // A page asked for a window of its own (a link with a target, a script after a click):
    // a new numbered document window, shown and active, its address box showing the
    // address; behind, the window active before stays active and keeps the focus.
    // Returns its browser control, still empty, for the page's request to be opened
    // in; nullptr when no window could be made.
    virtual WebBrowser *openInNewWindow(const QString &address, bool behind) = 0;
};
