#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// What a HEIC file holds, read back with libheif: the top-level pictures in file order, which
// one is primary, their decoded pixels and their XMP blocks.
struct HeicPicture
{
    bool primary = false;
    QImage pixels; // RGB888
    QList<QByteArray> xmp;
};

struct HeicFile
{
    bool readable = false;
    QList<HeicPicture> pictures;
};

HeicFile readHeic(const QString &path);
