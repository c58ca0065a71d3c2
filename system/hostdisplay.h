#pragma once

#include <QString>
#include <QUrl>

// How a host name is shown to the user, wherever it is shown: in its own letters only
// where those cannot pass for another name, else in its ASCII (xn--) form. A page
// chooses its host; a name that reads as a well-known one in other letters must not
// reach the address box, its list, the history file, a caption or a dialog.
//
// The checks are those browsers make (Unicode's security mechanisms for identifiers,
// through ICU's spoof checker), label by label, and the name is shown in its own
// letters only when every label passes:
// - one script, or Latin with Han, Hiragana and Katakana, with Han and Bopomofo, or with
//   Han and Hangul;
// - digits of one numbering system; no invisible or unrecommended characters;
// - no label in another script made entirely of letters that look Latin ("аррӏе").
namespace hostdisplay {

// host as it is shown; host in any form QUrl takes (ASCII, xn-- or Unicode). A host
// without xn-- labels comes back as it is.
QString shown(const QString &host);

// url as text, formatted by options, with its host as shown() says, whatever QUrl's
// own choice of letters for that host (its list of top-level domains).
QString addressText(const QUrl &url, QUrl::FormattingOptions options = QUrl::PrettyDecoded);

// The address as it is shown, listed and kept: spaces as %20, the rest as QUrl shows
// it, the host as shown() says.
inline QString locationText(const QUrl &url)
{
    return addressText(url, QUrl::EncodeSpaces);
}

// An address in text from the engine (a hovered link) with its host as shown() says;
// only its start is read, however long the text.
QString linkText(const QString &text);

// A page's title as a caption shows it: where the title is the page's address (the
// engine's stand-in for a page without one), its host in the form shown() gives;
// any other title as written.
QString titleText(const QString &title, const QUrl &page);

} // namespace hostdisplay
