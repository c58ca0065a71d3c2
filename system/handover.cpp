#include "system/handover.h"

#include "system/ownpageaddress.h"

#include <QStringDecoder>

namespace handover {

namespace {

const QByteArray Greeting = QByteArrayLiteral("halvane-open 1");

enum Field { GreetingField, TokenField, CountField, FirstAddressField };

} // namespace

QByteArray encode(const Message &message)
{
    QByteArray bytes = Greeting + '\0' + message.activationToken + '\0'
                       + QByteArray::number(message.addresses.size()) + '\0';
    for (const QString &address : message.addresses)
        bytes += address.toUtf8() + '\0';
    return bytes;
}

bool isPlainToken(const QByteArray &token)
{
    if (token.size() > MaxTokenBytes)
        return false;
    return std::all_of(token.cbegin(), token.cend(), [](char c) { return c > ' ' && c < 127; });
}

Reader::State Reader::feed(const QByteArray &bytes)
{
    if (m_state != State::Incomplete)
        return bytes.isEmpty() || m_state == State::Refused ? m_state : refuse(QStringLiteral("more than one message"));
    m_pending += bytes;
    qsizetype start = 0;
    for (qsizetype end; (end = m_pending.indexOf('\0', start)) >= 0; start = end + 1) {
        if (end - start > MaxFieldBytes)
            return refuse(QStringLiteral("a field longer than 64 KiB"));
        if (takeField(m_pending.sliced(start, end - start)) == State::Refused)
            return m_state;
        if (m_state == State::Complete) {
            if (end + 1 < m_pending.size())
                return refuse(QStringLiteral("more than one message"));
            m_pending.clear();
            return m_state;
        }
    }
    m_pending.remove(0, start);
    if (m_pending.size() > MaxFieldBytes)
        return refuse(QStringLiteral("a field longer than 64 KiB"));
    return m_state;
}

Reader::State Reader::takeField(const QByteArray &field)
{
    const int index = m_fields++;
    if (index == GreetingField)
        return field == Greeting ? m_state : refuse(QStringLiteral("not a Halvane message"));
    if (index == TokenField) {
        if (!field.isEmpty() && !isPlainToken(field))
            return refuse(QStringLiteral("a token that is not plain text"));
        m_message.activationToken = field;
        return m_state;
    }
    if (index == CountField) {
        bool number = false;
        const int count = field.size() <= 3 ? field.toInt(&number) : -1;
        if (!number || count < 0 || !std::all_of(field.cbegin(), field.cend(), [](char c) { return c >= '0' && c <= '9'; }))
            return refuse(QStringLiteral("no count of addresses"));
        if (count > MaxAddresses)
            return refuse(QStringLiteral("more than %1 addresses").arg(MaxAddresses));
        m_count = count;
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString address = utf8(field);
        if (utf8.hasError())
            return refuse(QStringLiteral("an address that is not UTF-8"));
        if (runsItsOwnPage(address))
            m_skipped << address;
        else
            m_message.addresses << address;
    }
    if (m_fields == FirstAddressField + m_count)
        m_state = State::Complete;
    return m_state;
}

Reader::State Reader::refuse(const QString &why)
{
    m_state = State::Refused;
    m_refusal = why;
    m_pending.clear();
    m_message = {};
    return m_state;
}

} // namespace handover
