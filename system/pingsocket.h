#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QNetworkProxy;
class QTcpSocket;

// The socket the document windows time the link ping with: it opens a TCP connection and
// reports when it is up. It is driven like a property-and-event control: the window sets
// its properties, sets an action, and answers its signals. Nothing is ever sent on it.
//
// Nothing here blocks: host names are looked up off the UI thread and every action
// returns at once.
class PingSocket : public QObject
{
    Q_OBJECT

public:
    // Looks host up and calls done with its addresses (none when it cannot be found),
    // later, on context's thread; never once context is gone. Tests pass one that asks no
    // name server.
    using Resolver = std::function<void(const QString &host, QObject *context,
                                        std::function<void(const QList<QHostAddress> &)> done)>;

    // Every int is an Action, so a value from elsewhere is refused, not undefined.
    enum Action : int { ActionConnect = 2, ActionClose = 7 };

    // The longest host name the DNS can carry, in its ASCII form.
    static constexpr int MaxHostNameLength = 253;

    // localAddress gives the machine's address for when there is no connection; an empty
    // resolver means the system's (QHostInfo).
    explicit PingSocket(std::function<QString()> localAddress, QObject *parent = nullptr,
                        Resolver resolver = {});
    ~PingSocket() override;

    // Whether host could name a host: 1 to 253 characters of ASCII letters, digits, '-',
    // '_' and '.', or non-ASCII letters that convert to an ASCII name; labels of 1 to 63
    // characters, and at most a trailing dot as an empty one. An IPv4 literal passes.
    static bool isHostName(const QString &host);

    // The read buffer of each attempt's socket; the data is dropped as it arrives anyway.
    void setBufferSize(int size) { m_bufferSize = size; }

    // Keeps host for the next connect, or refuses it (false) when it cannot name a host.
    // A refused text also drops the name held before, so the next connect is refused
    // rather than timing a host the window no longer means.
    bool setHostName(const QString &host);
    QString hostName() const { return m_hostName; }

    void setRemotePort(int port) { m_remotePort = port; }

    // ActionConnect starts connecting to the host name and remote port, abandoning any
    // attempt or connection before it, and returns at once: false when there is no host
    // name or the port is out of range. ActionClose closes the connection or abandons the
    // attempt, if any. Any other action is refused.
    bool setAction(Action action);

    // Set by the window from each read event; nothing is read, so it sizes nothing.
    void setReceiveLength(int length) { m_receiveLength = length; }
    int receiveLength() const { return m_receiveLength; }

    // The peer's numeric address while connected, else empty.
    QString remoteAddress() const;
    bool isConnected() const;
    // This end's address while connected, else the machine's.
    QString localAddress() const;

Q_SIGNALS:
    // The connection an ActionConnect started is up.
    void connected();
    // dataLength bytes arrived (and were dropped: the ping has no use for them).
    void dataArrived(int dataLength, bool isUrgent);
    // The host name could not be looked up. A refused or unanswered connection raises
    // nothing: the window times the attempt out itself.
    void lookupFailed();

private:
    void abandon();
    void resolved(const QList<QHostAddress> &addresses);
    void dropSocket();
    // A new attempt's socket, wired to this, going through proxy.
    QTcpSocket *openSocket(const QNetworkProxy &proxy);

    std::function<QString()> m_localAddress;
    static constexpr qint64 MachineAddressMaxAgeMs = 1000;
    mutable QString m_machineAddress;
    mutable QElapsedTimer m_machineAddressRead;
    Resolver m_resolver;

    int m_bufferSize = 1024;

    QString m_hostName;
    QString m_lookupName; // m_hostName in its ASCII form, as it is looked up
    int m_remotePort = 0;
    int m_receiveLength = 0;

    // The lookup under way: deleting it silences its answer.
    QPointer<QObject> m_lookup;
    // One socket per attempt, so nothing an abandoned one still raises reaches the window.
    QTcpSocket *m_socket = nullptr;
};
