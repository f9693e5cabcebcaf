#pragma once

// The small value types every part of the program shares. Each enumeration has a raw value
// (also its identifier, and what settings and pickers store) and a German label for display.
// fromRawValue<E>() and allCases<E>() are specialised for each of them.

#include <QHashFunctions>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringView>

#include <optional>

enum class WallpaperStyle { Blur, Flow, Mirror };

enum class Appearance { Light, Dark };

enum class SourceKind { Unsplash, Files, Photos };

QString rawValue(WallpaperStyle style);
QString rawValue(Appearance appearance);
QString rawValue(SourceKind kind);

inline QString id(WallpaperStyle style)
{
    return rawValue(style);
}
inline QString id(Appearance appearance)
{
    return rawValue(appearance);
}
inline QString id(SourceKind kind)
{
    return rawValue(kind);
}

QString label(WallpaperStyle style);
QString label(Appearance appearance);
QString label(SourceKind kind);

// Accepts exactly the raw values, case-sensitive; anything else has no value.
template <typename E> std::optional<E> fromRawValue(QStringView raw) = delete;
template <> std::optional<WallpaperStyle> fromRawValue<WallpaperStyle>(QStringView raw);
template <> std::optional<Appearance> fromRawValue<Appearance>(QStringView raw);
template <> std::optional<SourceKind> fromRawValue<SourceKind>(QStringView raw);

// In the order the pickers offer them.
template <typename E> const QList<E> &allCases() = delete;
template <> const QList<WallpaperStyle> &allCases<WallpaperStyle>();
template <> const QList<Appearance> &allCases<Appearance>();
template <> const QList<SourceKind> &allCases<SourceKind>();

constexpr Appearance other(Appearance appearance)
{
    return appearance == Appearance::Light ? Appearance::Dark : Appearance::Light;
}

// The concrete source chosen in the source picker: the Unsplash search, local files, or one
// album of the photo library. An album with empty id and title stands for the library chosen
// before any album is known.
class ImageSource
{
public:
    // Declaration order is the case index that hashing uses.
    enum class Type { Unsplash, Files, Album };

    static ImageSource unsplash() { return ImageSource(Type::Unsplash); }
    static ImageSource files() { return ImageSource(Type::Files); }
    static ImageSource album(const QString &id, const QString &title);

    Type type() const { return m_type; }
    bool isAlbum() const { return m_type == Type::Album; }
    // Empty unless isAlbum().
    QString albumId() const { return m_albumId; }
    QString albumTitle() const { return m_albumTitle; }

    SourceKind sourceKind() const;

    friend bool operator==(const ImageSource &a, const ImageSource &b);

private:
    explicit ImageSource(Type type) : m_type(type) {}

    Type m_type = Type::Unsplash;
    QString m_albumId;
    QString m_albumTitle;
};

size_t qHash(const ImageSource &source, size_t seed = 0) noexcept;

// No selection counts as the Unsplash search.
SourceKind sourceKind(const std::optional<ImageSource> &source);

// One choice of output size. The custom entry has width and height 0; the size then comes from
// the model's custom width and height.
struct ResolutionPreset
{
    QString name; // display text, also the identifier
    qint64 width = 0;
    qint64 height = 0;

    QString id() const { return name; }
    bool isCustom() const { return width == 0 && height == 0; }

    // The fixed table in picker order, the custom entry last; a new row goes before it.
    static const QList<ResolutionPreset> &all();
    // The first row of all(), the initial preset.
    static ResolutionPreset proDisplayXDR();
    // „Dieser Bildschirm — W × H“: the largest of the connected screens in device pixels,
    // each given by its logical size and device pixel ratio; none without a screen.
    static std::optional<ResolutionPreset>
    forScreens(const QList<std::pair<QSize, qreal>> &screens);

    friend bool operator==(const ResolutionPreset &, const ResolutionPreset &) = default;
};

size_t qHash(const ResolutionPreset &preset, size_t seed = 0) noexcept;
