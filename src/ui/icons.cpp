#include "icons.h"

#include <QPainter>

static void initIconResources()
{
    // The drawings live in a static library; their resource must be registered by hand.
    static const bool once = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(once);
}

QIcon icon(Icon which)
{
    initIconResources();
    struct Entry
    {
        const char *theme;
        const char *fallback;
    };
    static constexpr Entry entries[] = {
        {"image-x-generic", "photo"},
        {"insert-image", "photo-badge-plus"},
        {"edit-copy", "square-on-square"},
        {"emblem-ok-symbolic", "checkmark-circle"},
        {"document-open", "folder"},
        {"color-picker", "eyedropper"},
        {"document-export", "square-and-arrow-up"},
        {"folder-pictures", "photo-stack"},
        {"preferences-desktop-wallpaper", "desktop"},
        {"edit-find", "search"},
    };
    const Entry &entry = entries[static_cast<int>(which)];
    const QIcon fallback(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(entry.fallback)));
    return QIcon::fromTheme(QLatin1String(entry.theme), fallback);
}

QIcon applicationIcon()
{
    initIconResources();
    return QIcon::fromTheme(QStringLiteral("de.voskan.Voskan"),
                            QIcon(QStringLiteral(":/icons/app.svg")));
}

QIcon tinted(const QIcon &source, const QColor &color, const QSize &size)
{
    QIcon result;
    for (const qreal scale : {1.0, 2.0}) {
        QPixmap pixmap = source.pixmap(size, scale);
        QPainter painter(&pixmap);
        // Keeps the drawing's coverage, replaces its colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}
