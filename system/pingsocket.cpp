#include "system/pingsocket.h"

#include "system/quietlog.h"

#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <limits>

namespace {

constexpr int MaxLabelLength = 63;

bool isAsciiHostChar(char32_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
           || c == u'-' || c == u'.' || c == u'_';
}

// Labels of 1 to 63 characters; a single trailing dot (the root) is fine.
bool hasSoundLabels(const QString &ascii)
{
    QStringView rest(ascii);
    if (rest.endsWith(u'.'))
        rest.chop(1);
    for (const QStringView label : rest.tokenize(u'.')) {
        if (label.isEmpty() || label.size() > MaxLabelLength)
            return false;
    }
    return !rest.isEmpty();
}

// The name as it is looked up: non-ASCII names in their ACE form, empty when they have none.
QString asciiName(const QString &host)
{
    for (const QChar c : host) {
        if (c.unicode() >= 0x80)
            return QString::fromLatin1(QUrl::toAce(host));
    }
    return host;
}

void lookUpWithSystem(const QString &host, QObject *context,
                      std::function<void(const QList<QHostAddress> &)> done)
{
    // A numeric address needs no lookup, and QHostInfo would make a reverse one of it,
    // timed as part of the ping.
    QHostAddress literal;
    if (literal.setAddress(host)) {
        QTimer::singleShot(0, context, [done = std::move(done), literal] { done({literal}); });
        return;
    }
    QHostInfo::lookupHost(host, context, [done = std::move(done)](const QHostInfo &info) {
        done(info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
    });
}

} // namespace

PingSocket::PingSocket(std::function<QString()> localAddress, QObject *parent, Resolver resolver)
    : QObject(parent)
    , m_localAddress(std::move(localAddress))
    , m_resolver(resolver ? std::move(resolver) : Resolver(&lookUpWithSystem))
{
}

PingSocket::~PingSocket()
{
    // The socket goes with the other children, after this object's own part is gone:
    // nothing it raises while closing may reach us then.
    if (m_socket)
        m_socket->disconnect(this);
}

bool PingSocket::isHostName(const QString &host)
{
    // The length first, so a long text costs nothing more.
    if (host.isEmpty() || host.size() > MaxHostNameLength)
        return false;
    bool ascii = true;
    // Whole code points: a letter outside the BMP arrives as a surrogate pair, and a
    // lone surrogate becomes U+FFFD, which is no letter.
    const QList<uint> codePoints = host.toUcs4();
    for (const uint c : codePoints) {
        if (c < 0x80) {
            if (!isAsciiHostChar(c))
                return false;
        } else {
            ascii = false;
            const char32_t u = c;
            if (!QChar::isLetter(u) && !QChar::isMark(u) && !QChar::isDigit(u))
                return false;
        }
    }
    const QString lookup = ascii ? host : asciiName(host);
    return !lookup.isEmpty() && lookup.size() <= MaxHostNameLength && hasSoundLabels(lookup);
}

namespace {

// The proxy the program's connections take to host, or none: the one ProxyChoice::apply
// set, or with the system's settings (the default) what they say for this host, as the
// pages take it (an http_proxy in the environment, unless no_proxy names the host).
QNetworkProxy proxyFor(const QString &host, int port)
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(
        QNetworkProxyQuery(host, port, QString(), QNetworkProxyQuery::TcpSocket));
    for (const QNetworkProxy &p : proxies) {
        if (p.type() == QNetworkProxy::NoProxy || p.type() == QNetworkProxy::DefaultProxy)
            break;
        if (p.capabilities() & QNetworkProxy::TunnelingCapability)
            return p;
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

} // namespace

bool PingSocket::setHostName(const QString &host)
{
    if (!isHostName(host)) {
        // The panel shows one fixed message for every failure; here is which it was.
        qCInfo(lcPing).noquote() << QStringLiteral("Not pinged: \"%1\" is no host name.").arg(host.left(200));
        m_hostName.clear();
        m_lookupName.clear();
        return false;
    }
    m_hostName = host;
    m_lookupName = asciiName(host);
    return true;
}

bool PingSocket::setAction(Action action)
{
    switch (action) {
    case ActionConnect: {
        if (m_lookupName.isEmpty() || m_remotePort < 1 || m_remotePort > 65535)
            return false;
        abandon();
        // Through a proxy, the proxy finds the host: a host that can only be reached
        // that way is timed that way, and no lookup of ours is asked.
        if (const QNetworkProxy proxy = proxyFor(m_lookupName, m_remotePort); proxy.type() != QNetworkProxy::NoProxy) {
            openSocket(proxy)->connectToHost(m_lookupName, quint16(m_remotePort));
            return true;
        }
        auto *lookup = new QObject(this);
        m_lookup = lookup;
        m_resolver(m_lookupName, lookup,
                   [this, lookup = QPointer<QObject>(lookup)](const QList<QHostAddress> &found) {
                       // A gone context means a gone socket too: check before using this.
                       if (lookup && lookup == m_lookup)
                           resolved(found);
                   });
        return true;
    }
    case ActionClose:
        abandon();
        return true;
    default:
        return false;
    }
}

void PingSocket::abandon()
{
    if (m_lookup) {
        // Later, not now: the resolver may be inside a call on it.
        m_lookup->deleteLater();
        m_lookup = nullptr;
    }
    dropSocket();
}

void PingSocket::dropSocket()
{
    if (!m_socket)
        return;
    // Deleting closes it. Later, not now: this may run inside one of its own signals.
    m_socket->disconnect(this);
    m_socket->deleteLater();
    m_socket = nullptr;
}

void PingSocket::resolved(const QList<QHostAddress> &addresses)
{
    m_lookup->deleteLater();
    m_lookup = nullptr;
    if (addresses.isEmpty()) {
        qCInfo(lcPing).noquote() << QStringLiteral("Not pinged: %1 has no address.").arg(m_hostName);
        Q_EMIT lookupFailed();
        return;
    }
    // An IPv4 address when there is one; the ping means the Internet family.
    QHostAddress target = addresses.constFirst();
    for (const QHostAddress &a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            target = a;
            break;
        }
    }

    openSocket(QNetworkProxy(QNetworkProxy::NoProxy))->connectToHost(target, quint16(m_remotePort));
}

QTcpSocket *PingSocket::openSocket(const QNetworkProxy &proxy)
{
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    socket->setProxy(proxy);
    if (m_bufferSize > 0)
        socket->setReadBufferSize(m_bufferSize);
    connect(socket, &QTcpSocket::connected, this, [this] { Q_EMIT connected(); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const qint64 length = socket->bytesAvailable();
        // Read only to be dropped, so nothing piles up.
        socket->skip(length);
        Q_EMIT dataArrived(int(qMin<qint64>(length, std::numeric_limits<int>::max())), false);
    });
    // Refused, unreachable, or closed by the peer: either way this socket is done, and the
    // next connect makes a new one.
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { dropSocket(); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { dropSocket(); });
    return socket;
}

QString PingSocket::remoteAddress() const
{
    return isConnected() ? m_socket->peerAddress().toString() : QString();
}

bool PingSocket::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

QString PingSocket::localAddress() const
{
    if (isConnected())
        return m_socket->localAddress().toString();
    if (!m_localAddress)
        return {};
    // Finding the machine's address lists every network interface, and a page that
    // changes its title without end asks for it at every change: once a second will do.
    if (!m_machineAddressRead.isValid() || m_machineAddressRead.hasExpired(MachineAddressMaxAgeMs)) {
        m_machineAddress = m_localAddress();
        m_machineAddressRead.start();
    }
    return m_machineAddress;
}
