#include "capture/gui/KeptLinks.h"

#include "capture/gui/StoredPageScheme.h"
#include "platform/Url.h"
#include "platform/gui/QtText.h"

std::string KeptLinkAddress(const QUrl& url, const QString& strToken, const std::string& strSource) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp") ||
        scheme == QLatin1String("file"))
        return FromQ(url.toString(QUrl::FullyEncoded));
    if (scheme != StoredPageScheme() || strToken.isEmpty() || url.host() != strToken) return std::string();
    // The page itself, or a file it uses: a place in the note, no other page.
    if (!StoredPageFile(url).isEmpty()) return std::string();
    QString reference = url.path(QUrl::FullyEncoded).mid(1);
    if (url.hasQuery()) reference += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    if (reference.isEmpty()) return std::string();
    std::string address;
    if (strSource.empty() || !url::CombineUrl(strSource, FromQ(reference), address)) return std::string();
    return address;
}
