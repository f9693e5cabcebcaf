#include "unsplashsearch.h"

#include "model/usersettings.h"

#include <QPointer>

UnsplashSearch::UnsplashSearch(UnsplashClientFactory clients, QString builtInKey, QObject *parent)
    : QObject(parent), m_clients(std::move(clients)), m_builtInKey(std::move(builtInKey)),
      m_accessKey(userSettings().value(QLatin1String(kAccessKeyKey)).toString())
{
}

void UnsplashSearch::setAccessKey(const QString &key)
{
    m_accessKey = key;
    userSettings().setValue(QLatin1String(kAccessKeyKey), key);
    Q_EMIT accessKeyChanged();
}

void UnsplashSearch::setQuery(const QString &query)
{
    m_query = query;
    Q_EMIT queryChanged();
}

void UnsplashSearch::setResults(const QList<UnsplashPhoto> &results)
{
    m_results = results;
    Q_EMIT resultsChanged();
}

void UnsplashSearch::setIsSearching(bool searching)
{
    m_isSearching = searching;
    Q_EMIT isSearchingChanged();
}

QString UnsplashSearch::effectiveKey(const QString &userKey, const QString &builtInKey)
{
    // Only spaces and tabs: a key never contains them, while a pasted line break is kept so
    // the service rejects it visibly.
    qsizetype begin = 0, end = userKey.size();
    const auto blank = [](QChar c) {
        return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
    };
    while (begin < end && blank(userKey.at(begin)))
        ++begin;
    while (end > begin && blank(userKey.at(end - 1)))
        --end;
    const QString key = userKey.mid(begin, end - begin);
    return key.isEmpty() ? builtInKey : key;
}

std::shared_ptr<UnsplashClient> UnsplashSearch::client() const
{
    return m_clients ? m_clients(effectiveKey()) : nullptr;
}

void UnsplashSearch::runSearch()
{
    const QString text = m_query.trimmed();
    if (text.isEmpty()) {
        setResults({});
        Q_EMIT errorReported(std::nullopt);
        return;
    }
    setIsSearching(true);
    Q_EMIT errorReported(std::nullopt);
    const std::shared_ptr<UnsplashClient> searcher = client();
    if (!searcher) {
        Q_EMIT errorReported(QStringLiteral("Unsplash ist nicht verfügbar."));
        setIsSearching(false);
        return;
    }
    // Overlapping searches are not tracked: each writes its outcome when it finishes.
    QPointer<UnsplashSearch> self(this);
    searcher->search(
        text, 1, kHitsPerPage, [self, searcher, text](UnsplashClient::SearchResult result) {
            if (!self)
                return;
            if (const auto *hits = std::get_if<QList<UnsplashPhoto>>(&result)) {
                self->setResults(*hits);
                if (hits->isEmpty())
                    Q_EMIT self->errorReported(QStringLiteral("Keine Treffer für „%1“.").arg(text));
            } else {
                Q_EMIT self->errorReported(std::get<QString>(result));
            }
            self->setIsSearching(false);
        });
}
