#pragma once

class QWebEngineView;
class WebBrowser;

namespace pagemenu {

// Gives view, the page of browser, our own context menu in place of the engine's: its
// texts are ours and every entry goes to the page's own action, except that moving in
// the history, reloading and inspecting go through the browser, which must know of
// them. Made afresh at each right click, never before.
void install(QWebEngineView *view, WebBrowser *browser);

} // namespace pagemenu
