// The names of a wallpaper's files, in one place: the set writes them, the desktops are
// handed them, and the follower and the next set read them back from what a desktop shows.

#include "wallpaperfiles.h"

#include "desktoperror.h"
#include "files/datafolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kLightSuffix = QStringLiteral("-light.jpg");
const QString kDarkSuffix = QStringLiteral("-dark.jpg");
const QString kPackageSuffix = QStringLiteral("-kde");
const QString kDaySuffix = QStringLiteral(".day");

} // namespace

WallpaperFiles WallpaperFiles::forHeic(const QString &heicPath, QSize size)
{
    QString base = heicPath;
    if (base.endsWith(QStringLiteral(".heic")))
        base.chop(5);
    return {heicPath, base + kLightSuffix, base + kDarkSuffix, size};
}

QString WallpaperFiles::kdePackage() const
{
    QString base = heic;
    if (base.endsWith(QStringLiteral(".heic")))
        base.chop(5);
    return base + kPackageSuffix;
}

QString WallpaperFiles::heicForPicture(const QString &picturePath)
{
    const QFileInfo info(picturePath);
    QString name = info.fileName();
    for (const QString &suffix : {kLightSuffix, kDarkSuffix, kPackageSuffix}) {
        if (name.endsWith(suffix) && name.size() > suffix.size()) {
            name.chop(suffix.size());
            return info.dir().filePath(name + QStringLiteral(".heic"));
        }
    }
    return picturePath;
}

QString WallpaperFiles::dayFolder(const QString &dayFile)
{
    return dayFile.endsWith(kDaySuffix) ? dayFile.chopped(kDaySuffix.size()) : dayFile;
}

WallpaperFiles WallpaperFiles::forDayPicture(const QString &dayFile, int image, QSize size)
{
    WallpaperFiles files =
        forHeic(dayFolder(dayFile) + QStringLiteral("/%1.heic").arg(image), size);
    files.dark = files.light;
    return files;
}

QString WallpaperFiles::wallpaperForPicture(const QString &picturePath)
{
    const QString heic = heicForPicture(picturePath);
    const QFileInfo info(heic);
    if (info.dir().dirName().startsWith(QStringLiteral("day-")))
        return info.absolutePath() + kDaySuffix;
    return heic;
}

bool isOurPicture(const QString &path)
{
    const QString wallpaper = WallpaperFiles::wallpaperForPicture(path);
    return wallpaper != path &&
           QFileInfo(wallpaper).absolutePath() == QFileInfo(voskanDataFolder()).absoluteFilePath();
}
