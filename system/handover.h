#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a second start of the program hands to the running one: the addresses it was given
// and the desktop's token for bringing a window forward. On the wire: UTF-8 fields, each
// ended by a NUL byte (which no command-line argument or environment value can hold):
// "halvane-open 1", the token (may be empty), the number of addresses, the addresses.
// The running one answers one line: "ok", or "refused: <why>".
namespace handover {

// At most this many addresses, each at most this long: anything more is refused whole.
constexpr int MaxAddresses = 100;
constexpr qsizetype MaxFieldBytes = 64 * 1024;
// The longest token taken: the desktops' are a few dozen bytes.
constexpr qsizetype MaxTokenBytes = 4096;

struct Message
{
    QByteArray activationToken;
    QStringList addresses;
};

QByteArray encode(const Message &message);

// Whether a token can travel: printable ASCII, bounded. Anything else is no token.
bool isPlainToken(const QByteArray &token);

// Reads one message as its bytes arrive, in bounded memory: at most one field is held
// while it is incomplete.
class Reader
{
public:
    enum class State { Incomplete, Complete, Refused };

    State feed(const QByteArray &bytes);
    State state() const { return m_state; }
    // Complete: the message, without the addresses refused one by one (skipped()).
    const Message &message() const { return m_message; }
    // Addresses that run or carry a page of their own, not opened (as on the command line).
    const QStringList &skipped() const { return m_skipped; }
    // Refused: why, in a few words.
    QString refusal() const { return m_refusal; }

private:
    State takeField(const QByteArray &field);
    State refuse(const QString &why);

    State m_state = State::Incomplete;
    QByteArray m_pending;
    int m_fields = 0;
    int m_count = -1;
    Message m_message;
    QStringList m_skipped;
    QString m_refusal;
};

} // namespace handover
