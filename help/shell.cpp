// The desktop's URL handler behind a replaceable opener; see shell.h.
#include "help/shell.h"

#include <QDesktopServices>

namespace tablor {
namespace {
UrlOpener& opener() {
    static UrlOpener o;
    return o;
}
} // namespace

bool openUrl(const QUrl& url) {
    if (opener()) return opener()(url);
    return QDesktopServices::openUrl(url);
}

UrlOpener setUrlOpener(UrlOpener o) {
    UrlOpener previous = std::move(opener());
    opener() = std::move(o);
    return previous;
}

} // namespace tablor
