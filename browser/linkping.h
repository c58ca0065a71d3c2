#pragma once

#include <QString>

class BrowserHost;
class PingSocket;
class QTimer;

// The link ping of a document window: as a page is about to be visited it connects to
// the page's host and shows in the tools panel how long the connection took, within a
// time-out. It works the window's socket and time-out alarm and writes the panel; the
// window's handlers call it.
class LinkPing
{
public:
    // socket and timeOut are the window's Socket1 and Timer1.
    LinkPing(PingSocket &socket, QTimer &timeOut, BrowserHost &host);

    struct Target
    {
        QString remainder; // the address with every "http://" taken out
        int slash = 0;     // 1-based position of the first "/" in remainder, 0 when none
        QString host;      // remainder with every "/" taken out
    };

    // Only a bare host followed by one slash comes out as a host name; a path, a port or
    // another scheme stays glued to it, and the socket refuses or fails to resolve it.
    static Target parse(const QString &url);

    // Shown in the tools panel when an address cannot be pinged.
    static QString failureMessage();

    // An address is about to be visited: its host is shown and, when link ping is on and
    // the address names one, connected to with the time-out running.
    void start(const QString &url);
    // The time-out's alarm went off.
    void timeUp();
    // The connection is up: its address and time are shown, and it is closed.
    void connected();
    // Data came on the connection; nothing is done with it.
    void received(int dataLength);
    void showFailure();
    // The machine's address, or this end's while connected.
    void showLocalAddress();

private:
    PingSocket &m_socket;
    QTimer &m_timeOut;
    BrowserHost &m_host;
};
