// The two spellings a desktop keeps its picture in, read and written the same way for every
// desktop, so a picture handed over as a URI is recognised when it is read back.

#include "pictureuri.h"

#include <QUrl>

std::optional<QString> localPath(const QString &uriOrPath)
{
    if (uriOrPath.isEmpty())
        return std::nullopt;
    const QUrl url(uriOrPath);
    if (url.isLocalFile())
        return url.toLocalFile();
    if (uriOrPath.startsWith(QLatin1Char('/')))
        return uriOrPath;
    return std::nullopt;
}

QString fileUri(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}
