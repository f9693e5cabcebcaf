#include "icons.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>

#include <functional>

static void initIconResources()
{
    // The drawings live in a static library; their resource must be registered by hand.
    static const bool once = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(once);
}

namespace {

using Ink = std::function<QColor(QIcon::Mode)>;

// Keeps a drawing's coverage and replaces its colours by the ink's, asked each time a pixmap is
// made: buttons ask at every paint, so they follow a switch of the palette.
class InkEngine : public QIconEngine
{
public:
    InkEngine(QIcon source, Ink ink) : m_source(std::move(source)), m_ink(std::move(ink)) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap = m_source.pixmap(size, 1.0, QIcon::Normal, state);
        if (pixmap.isNull())
            return pixmap;
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), m_ink(mode));
        return pixmap;
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device()->devicePixelRatioF();
        QPixmap drawn = pixmap((QSizeF(rect.size()) * scale).toSize(), mode, state);
        drawn.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, drawn);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_source.actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_source.availableSizes(mode, state);
    }
    bool isNull() override { return m_source.isNull(); }
    QString key() const override { return QStringLiteral("voskan-ink"); }
    QIconEngine *clone() const override { return new InkEngine(m_source, m_ink); }

private:
    QIcon m_source;
    Ink m_ink;
};

QPalette::ColorGroup groupOf(QIcon::Mode mode)
{
    return mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active;
}

// The text colour a quarter of the way to the window's: a pictogram beside text, a little
// softer than the text itself.
QIcon inTextColour(const QIcon &source)
{
    return QIcon(new InkEngine(source, [](QIcon::Mode mode) {
        const QPalette palette = QGuiApplication::palette();
        const QColor text = palette.color(groupOf(mode), QPalette::WindowText);
        const QColor window = palette.color(groupOf(mode), QPalette::Window);
        return QColor::fromRgbF(text.redF() * 0.75F + window.redF() * 0.25F,
                                text.greenF() * 0.75F + window.greenF() * 0.25F,
                                text.blueF() * 0.75F + window.blueF() * 0.25F);
    }));
}

} // namespace

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
    const QString name = QLatin1String(entry.theme);
    const QIcon themed = QIcon::fromTheme(name);
    if (!themed.isNull())
        return name.endsWith(QLatin1String("-symbolic")) ? inTextColour(themed) : themed;
    return inTextColour(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(entry.fallback))));
}

QIcon symbolicIcon(const QString &name)
{
    const QIcon themed = QIcon::fromTheme(name + QLatin1String("-symbolic"));
    return themed.isNull() ? QIcon() : inTextColour(themed);
}

QIcon applicationIcon()
{
    initIconResources();
    return QIcon::fromTheme(QStringLiteral("de.voskan.Voskan"),
                            QIcon(QStringLiteral(":/icons/app.svg")));
}

QIcon tinted(const QIcon &source, QPalette::ColorRole normal, QPalette::ColorRole disabled)
{
    // The active group's colours: a greyed-out button on a coloured ground keeps its text legible
    // (actionbar.cpp), and its icon with it.
    return QIcon(new InkEngine(source, [normal, disabled](QIcon::Mode mode) {
        return QGuiApplication::palette().color(QPalette::Active,
                                                mode == QIcon::Disabled ? disabled : normal);
    }));
}

IconLabel::IconLabel(Icon which, int size, QWidget *parent)
    : QLabel(parent), m_icon(which), m_size(size)
{
    setPixmap(icon(m_icon).pixmap(m_size, m_size));
}

void IconLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        setPixmap(icon(m_icon).pixmap(m_size, m_size));
    QLabel::changeEvent(event);
}
