#include "valuetypes.h"

namespace {

template <typename E> std::optional<E> caseWithRawValue(QStringView raw)
{
    for (E value : allCases<E>()) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

} // namespace

QString rawValue(WallpaperStyle style)
{
    switch (style) {
    case WallpaperStyle::Blur:
        return QStringLiteral("blur");
    case WallpaperStyle::Flow:
        return QStringLiteral("flow");
    case WallpaperStyle::Mirror:
        return QStringLiteral("mirror");
    }
    Q_UNREACHABLE();
    return QString();
}

QString rawValue(Appearance appearance)
{
    switch (appearance) {
    case Appearance::Light:
        return QStringLiteral("light");
    case Appearance::Dark:
        return QStringLiteral("dark");
    }
    Q_UNREACHABLE();
    return QString();
}

QString rawValue(SourceKind kind)
{
    switch (kind) {
    case SourceKind::Unsplash:
        return QStringLiteral("unsplash");
    case SourceKind::Files:
        return QStringLiteral("files");
    case SourceKind::Photos:
        return QStringLiteral("photos");
    }
    Q_UNREACHABLE();
    return QString();
}

QString label(WallpaperStyle style)
{
    switch (style) {
    case WallpaperStyle::Blur:
        return QStringLiteral("Blur");
    case WallpaperStyle::Flow:
        return QStringLiteral("Flow");
    case WallpaperStyle::Mirror:
        return QStringLiteral("Spiegel");
    }
    Q_UNREACHABLE();
    return QString();
}

QString label(Appearance appearance)
{
    switch (appearance) {
    case Appearance::Light:
        return QStringLiteral("Hell");
    case Appearance::Dark:
        return QStringLiteral("Dunkel");
    }
    Q_UNREACHABLE();
    return QString();
}

QString label(SourceKind kind)
{
    switch (kind) {
    case SourceKind::Unsplash:
        return QStringLiteral("Unsplash");
    case SourceKind::Files:
        return QStringLiteral("Dateien");
    case SourceKind::Photos:
        return QStringLiteral("Fotos");
    }
    Q_UNREACHABLE();
    return QString();
}

template <> std::optional<WallpaperStyle> fromRawValue<WallpaperStyle>(QStringView raw)
{
    return caseWithRawValue<WallpaperStyle>(raw);
}

template <> std::optional<Appearance> fromRawValue<Appearance>(QStringView raw)
{
    return caseWithRawValue<Appearance>(raw);
}

template <> std::optional<SourceKind> fromRawValue<SourceKind>(QStringView raw)
{
    return caseWithRawValue<SourceKind>(raw);
}

template <> const QList<WallpaperStyle> &allCases<WallpaperStyle>()
{
    static const QList<WallpaperStyle> cases{WallpaperStyle::Blur, WallpaperStyle::Flow,
                                             WallpaperStyle::Mirror};
    return cases;
}

template <> const QList<Appearance> &allCases<Appearance>()
{
    static const QList<Appearance> cases{Appearance::Light, Appearance::Dark};
    return cases;
}

template <> const QList<SourceKind> &allCases<SourceKind>()
{
    static const QList<SourceKind> cases{SourceKind::Unsplash, SourceKind::Files,
                                         SourceKind::Photos};
    return cases;
}

ImageSource ImageSource::album(const QString &id, const QString &title)
{
    ImageSource source(Type::Album);
    source.m_albumId = id;
    source.m_albumTitle = title;
    return source;
}

SourceKind ImageSource::sourceKind() const
{
    switch (m_type) {
    case Type::Unsplash:
        return SourceKind::Unsplash;
    case Type::Files:
        return SourceKind::Files;
    case Type::Album:
        return SourceKind::Photos;
    }
    Q_UNREACHABLE();
    return SourceKind::Unsplash;
}

bool operator==(const ImageSource &a, const ImageSource &b)
{
    if (a.m_type != b.m_type)
        return false;
    return a.m_type != ImageSource::Type::Album ||
           (a.m_albumId == b.m_albumId && a.m_albumTitle == b.m_albumTitle);
}

size_t qHash(const ImageSource &source, size_t seed) noexcept
{
    const int caseIndex = int(source.type());
    if (!source.isAlbum())
        return qHashMulti(seed, caseIndex);
    return qHashMulti(seed, caseIndex, source.albumId(), source.albumTitle());
}

SourceKind sourceKind(const std::optional<ImageSource> &source)
{
    return source ? source->sourceKind() : SourceKind::Unsplash;
}

const QList<ResolutionPreset> &ResolutionPreset::all()
{
    // The names are shown as they are: × is U+00D7, — U+2014, … U+2026, the inch mark ASCII.
    // voskan-render's --preset numbers the rows from 1 in this order, in scripts and timers
    // that keep the number: a new preset is added as the last before the custom entry, so no
    // number changes its size. The help and the completions count the rows themselves.
    static const QList<ResolutionPreset> presets{
        {QStringLiteral(u"Pro Display XDR \u2014 6016 \u00d7 3384"), 6016, 3384},
        {QStringLiteral(u"Studio Display 5K \u2014 5120 \u00d7 2880"), 5120, 2880},
        {QStringLiteral(u"iMac 24\" 4.5K \u2014 4480 \u00d7 2520"), 4480, 2520},
        {QStringLiteral(u"MacBook Pro 16\" \u2014 3456 \u00d7 2234"), 3456, 2234},
        {QStringLiteral(u"MacBook Pro 14\" \u2014 3024 \u00d7 1964"), 3024, 1964},
        {QStringLiteral(u"MacBook Air 13\" \u2014 2560 \u00d7 1664"), 2560, 1664},
        {QStringLiteral(u"4K UHD \u2014 3840 \u00d7 2160"), 3840, 2160},
        {QStringLiteral(u"Full HD \u2014 1920 \u00d7 1080"), 1920, 1080},
        {QStringLiteral(u"Eigene Gr\u00f6\u00dfe\u2026"), 0, 0},
    };
    return presets;
}

ResolutionPreset ResolutionPreset::proDisplayXDR()
{
    return all().constFirst();
}

std::optional<ResolutionPreset>
ResolutionPreset::forScreens(const QList<std::pair<QSize, qreal>> &screens)
{
    std::optional<ResolutionPreset> largest;
    for (const auto &[logical, ratio] : screens) {
        // A 1366 × 768 screen at 125 % reports 1093 × 614 logical pixels: rounding the product
        // gives the panel's own size back.
        const qint64 width = qRound64(logical.width() * ratio);
        const qint64 height = qRound64(logical.height() * ratio);
        if (width < 1 || height < 1 ||
            (largest && width * height <= largest->width * largest->height))
            continue;
        largest = ResolutionPreset{
            QStringLiteral(u"Dieser Bildschirm \u2014 %1 \u00d7 %2").arg(width).arg(height), width,
            height};
    }
    return largest;
}

size_t qHash(const ResolutionPreset &preset, size_t seed) noexcept
{
    return qHashMulti(seed, preset.name, preset.width, preset.height);
}
