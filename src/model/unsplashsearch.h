#pragma once

// The Unsplash search as the window shows it: the access key the person entered (kept in the
// settings), the words searched for and the hits. The same key opens a search hit's picture,
// so the clients for both come from here.

#include "model/secrets.h"
#include "sources/unsplashclient.h"
#include "sources/unsplashphoto.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class UnsplashSearch : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kAccessKeyKey = "unsplashAccessKey"; // settings key
    static constexpr int kHitsPerPage = 30;

    // Reads the stored key, without storing it again. `builtInKey` stands in for the user's
    // when they have none: the binary's own (Secrets::unsplashKey()) but in tests.
    explicit UnsplashSearch(UnsplashClientFactory clients,
                            QString builtInKey = Secrets::unsplashKey(), QObject *parent = nullptr);

    QString accessKey() const { return m_accessKey; }
    // Stored as typed, not trimmed.
    void setAccessKey(const QString &key);
    QString query() const { return m_query; }
    void setQuery(const QString &query);
    QList<UnsplashPhoto> results() const { return m_results; }
    bool isSearching() const { return m_isSearching; }

    // The access key to use: the user's, trimmed of spaces and tabs, else the built-in one.
    QString effectiveKey() const { return effectiveKey(m_accessKey, m_builtInKey); }
    static QString effectiveKey(const QString &userKey,
                                const QString &builtInKey = Secrets::unsplashKey());
    // Neither the user nor the build gives a key: a search can only fail, so the window offers
    // the settings instead. Follows accessKeyChanged.
    bool needsAccessKey() const { return effectiveKey().isEmpty(); }
    // A client with the key of this moment; nothing when the program has no Unsplash.
    std::shared_ptr<UnsplashClient> client() const;

    // Searches for the trimmed query (first kHitsPerPage hits); the outcome arrives in
    // results(), isSearching() and errorReported().
    void runSearch();

Q_SIGNALS:
    void accessKeyChanged();
    void queryChanged();
    void resultsChanged();
    void isSearchingChanged();
    // What the error line says after this search: nothing, or why it found nothing.
    void errorReported(const std::optional<QString> &error);

private:
    void setResults(const QList<UnsplashPhoto> &results);
    void setIsSearching(bool searching);

    UnsplashClientFactory m_clients;
    QString m_builtInKey;
    QString m_accessKey;
    QString m_query;
    QList<UnsplashPhoto> m_results;
    bool m_isSearching = false;
};
