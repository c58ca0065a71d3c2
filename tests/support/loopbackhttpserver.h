#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

class QSslCertificate;
class QSslKey;
class QTcpSocket;
class LoopbackListener;

// A small HTTP/1.1 server on a loopback address for tests. Pages, redirects, delays
// and held answers are set per path (the part before any '?'). Every answer closes
// its connection. Unknown paths get 404; so does /favicon.ico unless a page is set
// for it, and those favicon requests are left out of requests() so that tests can
// compare request orders without the engine's icon fetches in them. As a client's proxy
// it is sent whole addresses ("http://host/path"), which are routes of their own, and
// tunnel requests, noted by their target ("host:443") and refused.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit LoopbackHttpServer(QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    // Listens on the address (a 127.x address) and port (0: any free port).
    // False when the address is not loopback or the port cannot be had.
    bool start(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost),
               quint16 port = 0);
    // As start, but every connection speaks TLS with that certificate and key, and
    // url() gives https addresses.
    bool startTls(const QSslCertificate &certificate, const QSslKey &key,
                  const QHostAddress &address = QHostAddress(QHostAddress::LocalHost),
                  quint16 port = 0);
    void close();
    bool isListening() const;
    QHostAddress address() const;
    quint16 port() const;
    // http(s)://<address>:<port><path>; path may carry a query and a fragment.
    QUrl url(const QString &path) const;

    void setPage(const QString &path, const QByteArray &body,
                 const QByteArray &contentType = "text/html; charset=utf-8", int status = 200);
    void setRedirect(const QString &path, const QString &location, int status = 302);
    // One more header line for the answers of the path, as "Name: value". A
    // Cache-Control line replaces the "no-store" every answer otherwise carries.
    void addHeader(const QString &path, const QByteArray &line);
    // Holds the answer for that path ms milliseconds after the request has arrived.
    void setDelay(const QString &path, int ms);
    // The path answers 401 with a Basic challenge for realm until a request carries
    // that user and password.
    void setBasicAuth(const QString &path, const QString &user, const QString &password,
                      const QString &realm);
    // Requests for the path get no answer until releaseHeld() or until the client
    // goes away. The hold stays set for later requests until setHold(path, false).
    void setHold(const QString &path, bool hold = true);
    // Answers for the path send their headers and the first bytes of their body, then
    // hold the rest until releaseHeld() (a download under way); -1 sends them whole.
    void setBodyHold(const QString &path, qsizetype bytes);
    // Answers for the path send their headers (the whole length) and the first bytes of
    // their body, then close the connection (a server that goes away), once any hold is
    // released; -1 sends them whole.
    void setBodyCut(const QString &path, qsizetype bytes);
    // Answers every request held so far, and sends the rest of every body held.
    void releaseHeld();
    int heldCount() const;

    // Request targets (path and query) in order of arrival.
    QStringList requests() const;
    // The same requests with their method and body (a posted form's fields).
    struct Request {
        QByteArray method;
        QString target;
        QByteArray body;
    };
    QList<Request> fullRequests() const { return m_fullRequests; }
    void clearRequests();
    // Connections the client closed without sending a byte, as a ping does.
    int silentConnections() const { return m_silentConnections; }

Q_SIGNALS:
    void requestReceived(const QString &path);

private:
    struct Route {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QByteArray location;
        int delayMs = 0;
        bool hold = false;
        bool answers = false; // a page or redirect was set
        QByteArray authorization; // the Authorization value wanted, empty for none
        QByteArray realm;
        QByteArray headers; // extra header lines, each ending in CR LF
        qsizetype bodyHoldAt = -1;
        qsizetype bodyCutAt = -1;
    };
    struct Connection;

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void handleRequest(QTcpSocket *socket, const QByteArray &method, const QByteArray &target,
                       const QByteArray &authorization, const QByteArray &body);
    void respond(QTcpSocket *socket, const QByteArray &method, const QString &path);
    void sendPlain(QTcpSocket *socket, int status, const QByteArray &text);
    void feed(QTcpSocket *socket);

    LoopbackListener *m_server;
    QHash<QString, Route> m_routes;
    QHash<QTcpSocket *, Connection *> m_connections;
    int m_silentConnections = 0;
    struct Held {
        QPointer<QTcpSocket> socket;
        QByteArray method;
        QString path;
    };
    QList<Held> m_held;
    QStringList m_requests;
    QList<Request> m_fullRequests;
};
