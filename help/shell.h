// Handing addresses to the desktop: the product web site, mail links in the help. Goes through a
// replaceable opener so that tests see what would be opened instead of starting a browser.
#pragma once

#include <QUrl>

#include <functional>

namespace tablor {

// The product web site, opened by "Webseite besuchen" and the about box's link.
inline constexpr const char* ProductWebSite = "https://tablor.example.org/";

// Opens `url` with the desktop's default program for it; false when that failed.
bool openUrl(const QUrl& url);

// Replaces the opener for every later openUrl (an empty function restores the desktop's);
// returns the previous one.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener setUrlOpener(UrlOpener opener);

} // namespace tablor
