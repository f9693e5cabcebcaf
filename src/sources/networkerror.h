#pragma once

// What a failed request means to the person, shared by every client of the network — the
// Unsplash search and downloads, the update check — so that the same failure reads the same
// wherever it happens.

#include <QNetworkReply>
#include <QString>
#include <QUrl>

// Why a request got no complete reply, sorted into what a user can tell apart and act on.
// Qt's own texts are English and read like programmer's notes ("Operation canceled" for a
// time-out), so they never stand alone in front of the user.
struct NetworkError
{
    enum class Kind {
        NoConnection, // no network at all
        HostNotFound,
        Refused,
        TimedOut, // silent for longer than the transfer time-out
        TooSlow,  // data kept coming, but the whole transfer took too long
        Tls,
        TooManyRedirects,
        InsecureRedirect, // from https to http
        UnsupportedScheme,
        RemoteClosed,
        Proxy,
        Other,
    };

    Kind kind = Kind::Other;
    QUrl url;       // what was asked for; its host is named in the text
    QString detail; // Qt's text, added in parentheses where it tells more than the kind

    // The one place where Qt's network error codes are read. Qt also sets a code for every
    // 4xx and 5xx status; those are for the caller to judge, so the code must be a transport
    // failure (see isTransportFailure()).
    static NetworkError fromReply(const QNetworkReply &reply);
    // Whether the reply failed in transport rather than with an HTTP status.
    static bool isTransportFailure(const QNetworkReply &reply);

    QString description() const;

    friend bool operator==(const NetworkError &, const NetworkError &) = default;
};
