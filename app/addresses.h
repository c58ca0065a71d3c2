#pragma once

#include <QString>

// The fixed web addresses of the program, in one place.
namespace addresses {

inline QString homePage() { return QStringLiteral("http://www.marrowdyne.com/"); }
inline QString webMail() { return QStringLiteral("http://quillpost.marrowdyne.com/users/Marrowdyne"); }
inline QString searchPage() { return QStringLiteral("https://duckduckgo.com/"); }

} // namespace addresses
