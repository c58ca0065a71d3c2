#pragma once

class QString;

// What a document window may do to the tools panel: show what it measured. The panel's
// controls stay the panel's, and this sits below both, so neither includes the other.
// Milliseconds come as a counter's text, empty while it is unset.
class ToolsPanelDisplay
{
public:
    virtual ~ToolsPanelDisplay() = default;

    // The host a link ping goes to, its first selectedLength characters selected.
    virtual void showPingHost(const QString &host, int selectedLength) = 0;
    // Why the address cannot be pinged, in the host's box and its tip.
    virtual void showPingFailure(const QString &reason) = 0;
    // The address the ping connected to, and how long the connect took.
    virtual void showRemoteAddress(const QString &address) = 0;
    virtual void showPingTime(const QString &milliseconds) = 0;
    // How long the last page took, or that the current one is taking long.
    virtual void showLoadTime(const QString &milliseconds) = 0;
    virtual void showSlowLoad() = 0;
    virtual void showLocalAddress(const QString &address) = 0;
};
