#pragma once

// The process's one QNetworkAccessManager. Every HTTP client of the app — the Unsplash
// search and downloads, the remote thumbnails, the update check — shares it, so they share
// one connection pool and the thumbnails' disk cache, and none of them has to know the
// others to get at it.

class QNetworkAccessManager;
class QUrl;

// Created on first use as a child of the application object. Main thread only.
QNetworkAccessManager *sharedNetworkAccessManager();

// Whether `url` is an http or https address with a host. The manager would also read file: and
// qrc: addresses, which no address from a server or a setting may reach.
bool isWebUrl(const QUrl &url);
