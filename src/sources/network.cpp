#include "network.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QThread>

QNetworkAccessManager *sharedNetworkAccessManager()
{
    static QPointer<QNetworkAccessManager> manager;
    Q_ASSERT(QCoreApplication::instance());
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}
