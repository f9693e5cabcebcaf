#include "exporterror.h"

QString description(ExportError error)
{
    switch (error) {
    case ExportError::NoSource:
        return QStringLiteral(u"Kein Quellbild ausgew\u00e4hlt.");
    case ExportError::RenderFailed:
        return QStringLiteral("Das Wallpaper konnte nicht gerendert werden.");
    case ExportError::EncodeFailed:
        return QStringLiteral("Das Bild konnte nicht kodiert werden.");
    case ExportError::Cancelled:
        return QStringLiteral("Das Schreiben wurde abgebrochen.");
    }
    Q_UNREACHABLE();
    return QString();
}
