#include "support/loopbackhttpserver.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Plain TCP, or TLS once a certificate is set: the connections it hands out are
// QSslSockets already starting their handshake, read and written like plain ones.
class LoopbackListener : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;
    QSslCertificate certificate;
    QSslKey key;
    bool tls = false;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!tls) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        // A client refusing our certificate just goes away.
        connect(socket, &QSslSocket::sslErrors, socket, [socket] { socket->abort(); });
        addPendingConnection(socket);
        socket->startServerEncryption();
    }
};

namespace {

// Limits that keep a confused or hostile client from growing our buffers.
constexpr qsizetype MaxHeaderBytes = 64 * 1024;
constexpr qsizetype MaxRequestBodyBytes = 16 * 1024 * 1024;
// Large bodies go out in pieces as the socket drains, not as one 10 MB write.
constexpr qsizetype ChunkBytes = 64 * 1024;
constexpr qint64 HighWaterBytes = 256 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

struct LoopbackHttpServer::Connection {
    QByteArray in;
    QByteArray out;
    qsizetype outOffset = 0;
    qsizetype holdAt = -1; // the body waits here until released
    qsizetype cutAt = -1;  // the connection closes here
    bool requestSeen = false;
    bool answered = false;
};

LoopbackHttpServer::LoopbackHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new LoopbackListener(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    // The sockets are the listener's children: silence them before they go, so no
    // slot of ours runs on a half-destroyed object.
    const auto sockets = m_connections.keys();
    for (QTcpSocket *socket : sockets)
        socket->disconnect(this);
    delete m_server;
    qDeleteAll(m_connections);
}

bool LoopbackHttpServer::start(const QHostAddress &address, quint16 port)
{
    if (!address.isLoopback())
        return false;
    if (m_server->isListening())
        m_server->close();
    m_server->tls = false;
    return m_server->listen(address, port);
}

bool LoopbackHttpServer::startTls(const QSslCertificate &certificate, const QSslKey &key,
                                  const QHostAddress &address, quint16 port)
{
    if (certificate.isNull() || key.isNull() || !start(address, port))
        return false;
    m_server->certificate = certificate;
    m_server->key = key;
    m_server->tls = true;
    return true;
}

void LoopbackHttpServer::close()
{
    m_server->close();
    const auto sockets = m_connections.keys();
    for (QTcpSocket *socket : sockets)
        socket->abort();
}

bool LoopbackHttpServer::isListening() const
{
    return m_server->isListening();
}

QHostAddress LoopbackHttpServer::address() const
{
    return m_server->serverAddress();
}

quint16 LoopbackHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl LoopbackHttpServer::url(const QString &path) const
{
    QString rest = path;
    if (!rest.startsWith(QLatin1Char('/')))
        rest.prepend(QLatin1Char('/'));
    return QUrl(QStringLiteral("%1://%2:%3")
                    .arg(m_server->tls ? QStringLiteral("https") : QStringLiteral("http"),
                         address().toString(), QString::number(port()))
                + rest);
}

void LoopbackHttpServer::setPage(const QString &path, const QByteArray &body,
                                 const QByteArray &contentType, int status)
{
    Route &route = m_routes[path];
    route.status = status;
    route.body = body;
    route.contentType = contentType;
    route.location.clear();
    route.answers = true;
}

void LoopbackHttpServer::setRedirect(const QString &path, const QString &location, int status)
{
    Route &route = m_routes[path];
    route.status = status;
    route.location = location.toUtf8();
    route.contentType = "text/html; charset=utf-8";
    route.body = "<html><body>Moved</body></html>";
    route.answers = true;
}

void LoopbackHttpServer::addHeader(const QString &path, const QByteArray &line)
{
    m_routes[path].headers += line + "\r\n";
}

void LoopbackHttpServer::setDelay(const QString &path, int ms)
{
    m_routes[path].delayMs = qMax(0, ms);
}

void LoopbackHttpServer::setBasicAuth(const QString &path, const QString &user,
                                     const QString &password, const QString &realm)
{
    Route &route = m_routes[path];
    route.authorization = "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
    route.realm = realm.toUtf8();
}

void LoopbackHttpServer::setHold(const QString &path, bool hold)
{
    m_routes[path].hold = hold;
}

void LoopbackHttpServer::setBodyHold(const QString &path, qsizetype bytes)
{
    m_routes[path].bodyHoldAt = bytes;
}

void LoopbackHttpServer::setBodyCut(const QString &path, qsizetype bytes)
{
    m_routes[path].bodyCutAt = bytes;
}

void LoopbackHttpServer::releaseHeld()
{
    // Fed after the look: a socket that fails goes from the table at once.
    QList<QTcpSocket *> paused;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (it.value()->holdAt >= 0) {
            it.value()->holdAt = -1;
            paused << it.key();
        }
    }
    for (QTcpSocket *socket : std::as_const(paused))
        feed(socket);
    const QList<Held> held = std::exchange(m_held, {});
    for (const Held &h : held) {
        if (h.socket && m_connections.contains(h.socket.data())
            && h.socket->state() == QAbstractSocket::ConnectedState)
            respond(h.socket.data(), h.method, h.path);
    }
}

int LoopbackHttpServer::heldCount() const
{
    int count = 0;
    for (const Held &h : m_held) {
        if (h.socket && m_connections.contains(h.socket.data()))
            ++count;
    }
    return count;
}

QStringList LoopbackHttpServer::requests() const
{
    return m_requests;
}

void LoopbackHttpServer::clearRequests()
{
    m_requests.clear();
    m_fullRequests.clear();
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, new Connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feed(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            Connection *conn = m_connections.take(socket);
            if (conn && conn->in.isEmpty() && !conn->requestSeen)
                ++m_silentConnections;
            delete conn;
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::onReadyRead(QTcpSocket *socket)
{
    Connection *conn = m_connections.value(socket);
    if (!conn)
        return;
    const QByteArray incoming = socket->readAll();
    if (conn->requestSeen)
        return; // one request a connection; anything after it is ignored
    conn->in += incoming;

    const qsizetype headerEnd = conn->in.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        if (conn->in.size() > MaxHeaderBytes) {
            conn->requestSeen = true;
            sendPlain(socket, 431, "Request headers too large");
        }
        return;
    }

    const QList<QByteArray> lines = conn->in.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    // An absolute address is what a client sends its proxy: the benchmarks serve the
    // program's fixed home address that way, with a route set for the whole address.
    // A tunnel asked of the proxy ("CONNECT host:443") is noted and, having no route,
    // refused: a benchmark checks that nothing was meant for elsewhere.
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/")
        || !(requestLine.at(1).startsWith('/') || requestLine.at(1).startsWith("http://")
             || requestLine.at(0) == "CONNECT")) {
        conn->requestSeen = true;
        sendPlain(socket, 400, "Bad request");
        return;
    }

    // A body (a posted form) is read before answering, so the client is never cut
    // off mid-upload.
    qint64 contentLength = 0;
    QByteArray authorization;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "authorization")
            authorization = line.mid(colon + 1).trimmed();
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length") {
            bool ok = false;
            contentLength = line.mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || contentLength < 0 || contentLength > MaxRequestBodyBytes) {
                conn->requestSeen = true;
                sendPlain(socket, 413, "Request body refused");
                return;
            }
        }
    }
    if (conn->in.size() - (headerEnd + 4) < contentLength)
        return;

    conn->requestSeen = true;
    const QByteArray body = conn->in.mid(headerEnd + 4, contentLength);
    conn->in.clear();
    handleRequest(socket, requestLine.at(0), requestLine.at(1), authorization, body);
}

void LoopbackHttpServer::handleRequest(QTcpSocket *socket, const QByteArray &method,
                                       const QByteArray &target, const QByteArray &authorization,
                                       const QByteArray &body)
{
    const QString fullTarget = QString::fromLatin1(target);
    qsizetype cut = fullTarget.indexOf(QLatin1Char('?'));
    if (cut < 0)
        cut = fullTarget.indexOf(QLatin1Char('#'));
    const QString path = cut < 0 ? fullTarget : fullTarget.left(cut);

    if (path == QLatin1String("/favicon.ico") && !m_routes.contains(path)) {
        sendPlain(socket, 404, "Not found");
        return;
    }

    m_requests << fullTarget;
    m_fullRequests.append({method, fullTarget, body});
    const QPointer<QTcpSocket> guard(socket);
    Q_EMIT requestReceived(fullTarget);
    // A receiver may have closed the server or dropped the client meanwhile.
    if (!guard || !m_connections.contains(socket))
        return;

    const Route route = m_routes.value(path);
    if (!route.authorization.isEmpty() && authorization != route.authorization) {
        Connection *conn = m_connections.value(socket);
        if (!conn || conn->answered)
            return;
        conn->answered = true;
        const QByteArray body = "<html><head><title>Refused</title></head><body>No entry</body></html>";
        socket->write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"" + route.realm
                      + "\"\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                      + QByteArray::number(body.size())
                      + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
        return;
    }
    if (route.hold) {
        m_held.append({guard, method, path});
        return;
    }
    if (route.delayMs > 0) {
        // The socket is the timer's context: a client that leaves cancels the answer.
        QTimer::singleShot(route.delayMs, socket, [this, socket, method, path] {
            if (m_connections.contains(socket))
                respond(socket, method, path);
        });
        return;
    }
    respond(socket, method, path);
}

void LoopbackHttpServer::respond(QTcpSocket *socket, const QByteArray &method, const QString &path)
{
    const auto it = m_routes.constFind(path);
    if (it == m_routes.constEnd() || !it->answers) {
        sendPlain(socket, 404, "Not found");
        return;
    }
    Connection *conn = m_connections.value(socket);
    if (!conn || conn->answered)
        return;
    conn->answered = true;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(it->status) + ' ' + reasonPhrase(it->status)
                      + "\r\n";
    if (!it->location.isEmpty())
        head += "Location: " + it->location + "\r\n";
    head += "Content-Type: " + it->contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(it->body.size()) + "\r\n";
    head += it->headers;
    // Every fetch reaches us, so tests see back, forward and reload requests, unless
    // the path says itself how it may be cached.
    if (!it->headers.toLower().contains("cache-control:"))
        head += "Cache-Control: no-store\r\n";
    head += "Connection: close\r\n\r\n";

    socket->write(head);
    if (method != "HEAD")
        conn->out = it->body;
    conn->holdAt = it->bodyHoldAt;
    conn->cutAt = it->bodyCutAt;
    feed(socket);
}

void LoopbackHttpServer::sendPlain(QTcpSocket *socket, int status, const QByteArray &text)
{
    Connection *conn = m_connections.value(socket);
    if (!conn || conn->answered)
        return;
    conn->answered = true;
    const QByteArray body = text + '\n';
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                  + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

void LoopbackHttpServer::feed(QTcpSocket *socket)
{
    Connection *conn = m_connections.value(socket);
    if (!conn || !conn->answered || socket->state() != QAbstractSocket::ConnectedState)
        return;
    qsizetype end = conn->holdAt >= 0 ? qMin(conn->holdAt, conn->out.size()) : conn->out.size();
    if (conn->cutAt >= 0)
        end = qMin(end, conn->cutAt);
    while (conn->outOffset < end && socket->bytesToWrite() < HighWaterBytes) {
        const qsizetype n = qMin(ChunkBytes, end - conn->outOffset);
        const qint64 written = socket->write(conn->out.constData() + conn->outOffset, n);
        if (written <= 0) {
            socket->abort();
            return;
        }
        conn->outOffset += written;
    }
    // Cut only once no hold keeps the rest back.
    if (conn->holdAt < 0 && conn->cutAt >= 0 && conn->outOffset >= conn->cutAt) {
        socket->disconnectFromHost();
        return;
    }
    if (conn->outOffset >= conn->out.size()) {
        conn->out.clear();
        conn->outOffset = 0;
        // Waits for what is queued to go out, then closes.
        socket->disconnectFromHost();
    }
}
