#pragma once

class QMenu;
class QWebEngineContextMenuRequest;
class QWebEngineView;
class WebBrowser;

namespace pagemenu {

// Gives view, the page of browser, our own context menu in place of the engine's: its
// texts are ours and every entry goes to the page's own action, except that moving in
// the history, reloading and inspecting go through the browser, which must know of
// them. Made afresh at each right click, never before.
void install(QWebEngineView *view, WebBrowser *browser);

// The menu for the place request describes: the link entries only over a link, the
// edit entries enabled as the page allows them there. Owned by parent.
QMenu *make(QWebEngineView *view, WebBrowser *browser, const QWebEngineContextMenuRequest &request);

} // namespace pagemenu
