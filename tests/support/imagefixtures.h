#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QTemporaryDir;

// Files made at test time for the image decoder: broken or unusual pictures that no real
// photo collection contains.
namespace ImageFixtures {

// Starts libvips for tests that build pictures with it. Safe to call repeatedly.
void startVips();

// CRC-32 as PNG and zlib use it (reflected, polynomial 0xEDB88320).
quint32 crc32(const QByteArray &bytes);

// A well-formed PNG, checksums and all, whose header promises width × height RGB pixels
// and whose only IDAT chunk is empty: decoders read the header, then run out of data.
QByteArray pngWithoutPixels(quint32 width, quint32 height);

// Writes bytes to name inside dir and returns the full path; fails the test on error.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

QByteArray readFile(const QString &path);

} // namespace ImageFixtures
