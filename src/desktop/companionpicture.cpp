#include "companionpicture.h"

#include "desktop/backends/desktoperror.h"
#include "files/outputfile.h"

#include <QImage>
#include <QImageWriter>

std::optional<QString> writeCompanionPicture(const Bitmap &picture, const QString &path)
{
    // 8 bits suffice for a screen; JPEG at this quality is a tenth of a PNG and quicker to write.
    const QImage image = picture.toImage().convertToFormat(QImage::Format_RGB888);
    OutputFile file(path);
    if (image.isNull() || !file.open())
        return fileFailedText(path);
    QImageWriter writer(&file, "jpg");
    writer.setQuality(95);
    if (!writer.write(image) || !file.commit())
        return fileFailedText(path);
    return std::nullopt;
}
