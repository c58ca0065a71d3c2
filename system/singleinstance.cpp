#include "system/singleinstance.h"

#include "system/quietlog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcHandover, "halvane.handover", QtWarningMsg)

namespace {

// The answer is one short line.
constexpr qsizetype MaxAnswerBytes = 1024;

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

} // namespace

QString SingleInstance::runtimeFolder()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) {
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("halvane-%1").arg(geteuid()));
        // Fails when it is there already: what is there is checked below, whoever made it.
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QFileInfo info(folder);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::WriteOther | QFile::ExeOther;
    if (info.isSymLink() || !info.isDir() || info.ownerId() != geteuid() || (info.permissions() & others))
        return {};
    return info.absoluteFilePath();
}

QString SingleInstance::socketPath(const QString &dataFolder)
{
    const QString folder = runtimeFolder();
    if (folder.isEmpty() || dataFolder.isEmpty())
        return {};
    // Short enough for a socket's path, and one per data folder however it was written.
    const QByteArray profile = QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(profile, QCryptographicHash::Sha256).toHex().left(16);
    return QDir(folder).filePath(QStringLiteral("halvane-") + QString::fromLatin1(hash));
}

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent)
    , m_path(socketPath(dataFolder))
{
}

SingleInstance::~SingleInstance()
{
    stop();
}

SingleInstance::Start SingleInstance::start(const handover::Message &message, std::chrono::milliseconds wait)
{
    if (m_path.isEmpty()) {
        quietlog::warnOnce(lcHandover(), QStringLiteral("no runtime folder of the user's own (XDG_RUNTIME_DIR): "
                                                        "this Halvane cannot be reached by later starts"));
        return Start::Alone;
    }
    const QDeadlineTimer deadline(wait);
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // only a dead holder's lock is stale
    for (;;) {
        if (m_lock->tryLock(0))
            return listen() ? Start::First : Start::Alone;
        if (m_lock->error() != QLockFile::LockFailedError) {
            qCWarning(lcHandover, "cannot take %s: this Halvane cannot be reached by later starts",
                      qUtf8Printable(m_lock->fileName()));
            m_lock.reset();
            return Start::Alone;
        }
        switch (handOver(message, deadline)) {
        case Answer::Ok:
            return Start::HandedOver;
        case Answer::Refused:
            return Start::Refused;
        case Answer::None:
            break;
        }
        if (deadline.hasExpired()) {
            qCWarning(lcHandover, "the Halvane already running did not answer within %lld ms: this one runs by itself",
                      static_cast<long long>(wait.count()));
            m_lock.reset();
            return Start::Alone;
        }
        // The holder is between taking its lock and listening, or letting both go.
        QThread::msleep(20);
    }
}

SingleInstance::Answer SingleInstance::handOver(const handover::Message &message, QDeadlineTimer deadline)
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return Answer::None;
    socket.write(handover::encode(message));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return Answer::None;
    }
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < MaxAnswerBytes) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(remainingMs(deadline)))
            return Answer::None;
        answer += socket.read(MaxAnswerBytes - answer.size());
    }
    const QByteArray line = answer.left(answer.indexOf('\n'));
    if (line == "ok")
        return Answer::Ok;
    if (!line.startsWith("refused: "))
        return Answer::None;
    m_refusal = QString::fromUtf8(line.mid(9)).left(200);
    return Answer::Refused;
}

bool SingleInstance::listen()
{
    // A socket left by a killed Halvane: the lock just taken says nobody listens on it.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        qCWarning(lcHandover, "cannot listen at %s (%s): this Halvane cannot be reached by later starts",
                  qUtf8Printable(m_path), qUtf8Printable(m_server->errorString()));
        stop();
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server->nextPendingConnection())
            accept(peer);
    });
    qCInfo(lcHandover, "listening at %s", qUtf8Printable(m_path));
    return true;
}

void SingleInstance::accept(QLocalSocket *peer)
{
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    // Qt holds no more of what the peer sends than one field; the reader no more than that.
    peer->setReadBufferSize(handover::MaxFieldBytes);
    auto *slow = new QTimer(peer);
    slow->setSingleShot(true);
    connect(slow, &QTimer::timeout, peer, [peer] {
        qCWarning(lcHandover, "a start that did not finish its message in time was dropped");
        peer->abort();
    });
    slow->start(PeerWaitMs);
    auto reader = std::make_shared<handover::Reader>();
    connect(peer, &QLocalSocket::readyRead, this, [this, peer, slow, reader] {
        auto state = handover::Reader::State::Incomplete;
        while (peer->bytesAvailable() > 0 && state == handover::Reader::State::Incomplete)
            state = reader->feed(peer->read(handover::MaxFieldBytes));
        if (state == handover::Reader::State::Incomplete)
            return;
        slow->stop();
        disconnect(peer, &QLocalSocket::readyRead, this, nullptr);
        if (state == handover::Reader::State::Refused) {
            qCWarning(lcHandover, "refused what another start handed over: %s", qUtf8Printable(reader->refusal()));
            peer->write("refused: " + reader->refusal().toUtf8() + '\n');
        } else {
            for (const QString &address : reader->skipped())
                qCWarning(lcHandover, "not opened, not an address a user could type: %s",
                          qUtf8Printable(address.left(200).simplified()));
            peer->write("ok\n");
            // Opened from the event loop, not inside the socket's signal: opening may ask
            // the user something.
            QMetaObject::invokeMethod(this, [this, message = reader->message()] { take(message); },
                                      Qt::QueuedConnection);
        }
        peer->disconnectFromServer();
    });
}

void SingleInstance::take(const handover::Message &message)
{
    if (m_receiver)
        m_receiver(message);
    else
        m_waiting << message;
}

void SingleInstance::deliverTo(std::function<void(const handover::Message &)> receiver)
{
    m_receiver = std::move(receiver);
    while (m_receiver && !m_waiting.isEmpty())
        m_receiver(m_waiting.takeFirst());
}

void SingleInstance::stop()
{
    m_receiver = {};
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    m_lock.reset();
}
