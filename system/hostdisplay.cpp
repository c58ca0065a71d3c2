#include "system/hostdisplay.h"

#include <QList>

#include <unicode/uscript.h>
#include <unicode/uset.h>
#include <unicode/uspoof.h>

#include <memory>

namespace {

const QString AcePrefix = QStringLiteral("xn--");

// One checker for the process, set up once: checking with it is safe from any thread.
class SpoofChecker
{
public:
    SpoofChecker()
    {
        UErrorCode status = U_ZERO_ERROR;
        m_checker = uspoof_open(&status);
        // One script, or Latin with Han and Japanese, Chinese or Korean letters.
        uspoof_setRestrictionLevel(m_checker, USPOOF_HIGHLY_RESTRICTIVE);
        uspoof_setChecks(m_checker,
                         USPOOF_RESTRICTION_LEVEL | USPOOF_MIXED_NUMBERS | USPOOF_INVISIBLE | USPOOF_CHAR_LIMIT,
                         &status);
        // The characters recommended for identifiers, and those in common use with them.
        USet *allowed = uset_openEmpty();
        uset_addAll(allowed, uspoof_getRecommendedSet(&status));
        uset_addAll(allowed, uspoof_getInclusionSet(&status));
        uspoof_setAllowedChars(m_checker, allowed, &status);
        uset_close(allowed);
        m_ready = U_SUCCESS(status);
    }
    ~SpoofChecker() { uspoof_close(m_checker); }
    SpoofChecker(const SpoofChecker &) = delete;
    SpoofChecker &operator=(const SpoofChecker &) = delete;

    bool passes(const QString &label) const
    {
        if (!m_ready)
            return false;
        UErrorCode status = U_ZERO_ERROR;
        const int32_t failed = uspoof_check2(m_checker, utf16(label), int32_t(label.size()), nullptr, &status);
        return U_SUCCESS(status) && failed == 0 && !looksLatin(label);
    }

private:
    static const UChar *utf16(const QString &text) { return reinterpret_cast<const UChar *>(text.utf16()); }

    // A label in another script whose every letter has a Latin look-alike reads as a
    // Latin name: its skeleton (the letters' shared look) is plain ASCII.
    bool looksLatin(const QString &label) const
    {
        for (const uint c : label.toUcs4()) {
            UErrorCode status = U_ZERO_ERROR;
            if (uscript_getScript(UChar32(c), &status) == USCRIPT_LATIN)
                return false;
        }
        QString skeleton(label.size() * 4 + 16, Qt::Uninitialized);
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = uspoof_getSkeleton(m_checker, 0, utf16(label), int32_t(label.size()),
                                            reinterpret_cast<UChar *>(skeleton.data()), int32_t(skeleton.size()),
                                            &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            skeleton.resize(length);
            status = U_ZERO_ERROR;
            length = uspoof_getSkeleton(m_checker, 0, utf16(label), int32_t(label.size()),
                                        reinterpret_cast<UChar *>(skeleton.data()), int32_t(skeleton.size()), &status);
        }
        if (U_FAILURE(status))
            return true; // cannot tell: the safe answer
        skeleton.truncate(length);
        for (const QChar c : std::as_const(skeleton)) {
            const char16_t u = c.unicode();
            const bool ascii = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')
                               || u == u'-';
            if (!ascii)
                return false;
        }
        return true;
    }

    USpoofChecker *m_checker = nullptr;
    bool m_ready = false;
};

const SpoofChecker &checker()
{
    static const SpoofChecker instance;
    return instance;
}

// label in its own letters, or empty where it is no sound xn-- label or fails a check.
QString decodedLabel(const QString &label)
{
    const QString decoded = QUrl::fromAce(label.toLatin1(), QUrl::IgnoreIDNWhitelist);
    if (decoded.isEmpty() || decoded.startsWith(AcePrefix, Qt::CaseInsensitive)
        || QString::fromLatin1(QUrl::toAce(decoded, QUrl::IgnoreIDNWhitelist)).compare(label, Qt::CaseInsensitive) != 0)
        return {};
    return checker().passes(decoded) ? decoded : QString();
}

} // namespace

namespace hostdisplay {

QString shown(const QString &host)
{
    const QString ace = QString::fromLatin1(QUrl::toAce(host, QUrl::IgnoreIDNWhitelist));
    // Not a name that converts (an address literal, or nonsense QUrl would refuse):
    // nothing to decode.
    if (ace.isEmpty())
        return host;
    if (!ace.contains(AcePrefix, Qt::CaseInsensitive))
        return ace.compare(host, Qt::CaseInsensitive) == 0 ? host : ace;
    QStringList labels = ace.split(u'.');
    for (QString &label : labels) {
        if (!label.startsWith(AcePrefix, Qt::CaseInsensitive))
            continue;
        const QString decoded = decodedLabel(label);
        // One label that could mislead shows the whole name as it is sent.
        if (decoded.isEmpty())
            return ace;
        label = decoded;
    }
    return labels.join(u'.');
}

QString addressText(const QUrl &url, QUrl::FormattingOptions options)
{
    const QString text = url.toString(options);
    const QString current = url.host();
    if (current.isEmpty())
        return text;
    const QString wanted = shown(url.host(QUrl::EncodeUnicode));
    if (wanted == current)
        return text;
    // The host is what ends the address's start: scheme, "//", any user info, host.
    const QString head =
        url.toString(options | QUrl::RemovePort | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (text.startsWith(head) && head.endsWith(current))
        return head.chopped(current.size()) + wanted + text.mid(head.size());
    // Never the letters that failed: all of it in ASCII instead.
    return url.toString(options | QUrl::EncodeUnicode);
}

QString linkText(const QString &text)
{
    // Scheme, "://", then the authority up to the path, query or fragment.
    constexpr qsizetype MaxStart = 1024;
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    if (scheme <= 0 || scheme > 64)
        return text;
    qsizetype end = scheme + 3;
    while (end < text.size() && end < MaxStart && !QStringView(u"/?#").contains(text.at(end)))
        ++end;
    const QUrl start(text.left(end), QUrl::TolerantMode);
    const QString current = start.host();
    if (current.isEmpty())
        return text;
    const QString ace = start.host(QUrl::EncodeUnicode);
    const QString wanted = shown(ace);
    // The text has the host in QUrl's letters or in xn-- form.
    for (const QString &form : {current, ace}) {
        const qsizetype at = text.lastIndexOf(form, end - 1, Qt::CaseInsensitive);
        if (at > scheme)
            return form == wanted ? text : text.left(at) + wanted + text.mid(at + form.size());
    }
    return text;
}

QString titleText(const QString &title, const QUrl &page)
{
    const QString ace = page.host(QUrl::EncodeUnicode);
    if (!ace.contains(AcePrefix, Qt::CaseInsensitive) || title.isEmpty() || title.size() > 4096)
        return title;
    for (const QChar c : title) {
        if (c.isSpace())
            return title; // words, not an address
    }
    if (QUrl::fromUserInput(title).host(QUrl::EncodeUnicode).compare(ace, Qt::CaseInsensitive) != 0)
        return title;
    const QString wanted = shown(ace);
    const QString unicode = QUrl::fromAce(ace.toLatin1(), QUrl::IgnoreIDNWhitelist);
    QString text = title;
    for (const QString &form : {unicode, ace}) {
        if (form != wanted)
            text.replace(form, wanted, Qt::CaseInsensitive);
    }
    return text;
}

} // namespace hostdisplay
