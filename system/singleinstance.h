#pragma once

#include "system/handover.h"

#include <QDeadlineTimer>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// halvane.handover: where the program listens, each window opened for another start, and
// why a start went on alone. Warnings show by default, the rest when asked:
// QT_LOGGING_RULES="halvane.handover.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcHandover)

// One Halvane per user and profile. The first start takes a lock and listens on a socket
// that is the user's alone, named after the profile's data folder; a later start hands its
// addresses to it and ends. A lock left by a killed process is stale, and so is its socket.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Start {
        First,      // this process listens: it is the Halvane of this profile
        HandedOver, // the running one took the message
        Refused,    // the running one refused the message: refusal() says why
        Alone,      // no answer in time, or no folder of the user's own: it runs by itself
    };

    // $XDG_RUNTIME_DIR, or <temp>/halvane-<uid> (made, 0700) where that is unset; empty when
    // the folder is a link, not the user's, or open to anyone else.
    static QString runtimeFolder();
    // The socket for a profile's data folder, in runtimeFolder(); empty when there is none.
    static QString socketPath(const QString &dataFolder);

    explicit SingleInstance(const QString &dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the first, or hands message to the running one, giving it `wait` to answer.
    Start start(const handover::Message &message, std::chrono::milliseconds wait = std::chrono::seconds(2));
    QString refusal() const { return m_refusal; }

    // Each message taken goes to receiver, in the order they came; those that came before
    // there was a receiver (while the splash shows) go first.
    void deliverTo(std::function<void(const handover::Message &)> receiver);
    // Listens no more and frees the name for the next start.
    void stop();

    // How long a peer may take to send its message before it is dropped.
    static constexpr int PeerWaitMs = 5000;

private:
    enum class Answer { Ok, Refused, None };
    Answer handOver(const handover::Message &message, QDeadlineTimer deadline);
    bool listen();
    void accept(QLocalSocket *peer);
    void take(const handover::Message &message);

    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    std::function<void(const handover::Message &)> m_receiver;
    QList<handover::Message> m_waiting;
    QString m_refusal;
};
