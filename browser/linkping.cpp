#include "browser/linkping.h"

#include "browser/browserhost.h"
#include "shared/measurements.h"
#include "shared/toolspaneldisplay.h"
#include "system/pingsocket.h"

#include <QTimer>

namespace {

constexpr qint64 pingTimeoutMs = 1000;

} // namespace

LinkPing::LinkPing(PingSocket &socket, QTimer &timeOut, BrowserHost &host)
    : m_socket(socket)
    , m_timeOut(timeOut)
    , m_host(host)
{
    m_socket.setBufferSize(1024);
}

LinkPing::Target LinkPing::parse(const QString &url)
{
    Target t;
    t.remainder = url;
    t.remainder.remove(QStringLiteral("http://"), Qt::CaseSensitive);
    t.slash = int(t.remainder.indexOf(QLatin1Char('/'))) + 1;
    t.host = t.remainder;
    t.host.remove(QLatin1Char('/'));
    return t;
}

QString LinkPing::failureMessage()
{
    const QString example = QStringLiteral("www.marrowdyne.com");
    return QStringLiteral("Only domains may be pinged (i.e ") + example + QStringLiteral(" - NOT ") + example
        + QStringLiteral("/help)");
}

void LinkPing::start(const QString &url)
{
    Measurements &shared = m_host.measurements();
    if (!shared.LinkPingEnabled)
        return;

    const Target target = parse(url);
    // Selects what stood before the first slash; no slash at all cannot be pinged.
    if (target.slash - 1 < 0) {
        showFailure();
        return;
    }
    m_host.loadedToolsPanel().showPingHost(target.host, target.slash - 1);
    if (target.remainder.isEmpty())
        return;
    // The host as the panel's box shows it: the box cuts only far past a host name's length.
    if (!m_socket.setHostName(target.host)) {
        showFailure();
        return;
    }
    m_socket.setRemotePort(80);
    if (!m_socket.setAction(PingSocket::ActionConnect)) {
        showFailure();
        return;
    }
    if (!shared.PingTicks.isRunning(&m_timeOut))
        shared.PingTicks.run(&m_timeOut, pingTimeoutMs);
}

void LinkPing::showFailure()
{
    m_host.loadedToolsPanel().showPingFailure(failureMessage());
}

void LinkPing::timeUp()
{
    TickCounter &ticks = m_host.measurements().PingTicks;
    // The time-out: nothing shown, the attempt left to itself.
    if (ticks.isRunning(&m_timeOut) && ticks.reached()) {
        ticks.stop(&m_timeOut);
        ticks.reset();
    }
}

void LinkPing::connected()
{
    TickCounter &ticks = m_host.measurements().PingTicks;
    ticks.stop(&m_timeOut);
    ToolsPanelDisplay &panel = m_host.loadedToolsPanel();
    panel.showRemoteAddress(m_socket.remoteAddress());
    panel.showPingTime(ticks.text());
    ticks.reset();
    if (m_socket.isConnected())
        m_socket.setAction(PingSocket::ActionClose);
}

void LinkPing::received(int dataLength)
{
    m_socket.setReceiveLength(dataLength);
}

void LinkPing::showLocalAddress()
{
    m_host.loadedToolsPanel().showLocalAddress(m_socket.localAddress());
}
