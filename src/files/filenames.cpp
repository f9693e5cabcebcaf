#include "filenames.h"

#include <QChar>
#include <QStringList>
#include <QStringView>
#include <QTextBoundaryFinder>

namespace {

constexpr int maximumSlugLength = 60;

// A user-perceived character is judged by its base: "e" with a combining accent is a letter,
// a keycap sequence on a digit is a number. A lone surrogate is neither.
bool isLetterOrNumber(QStringView grapheme)
{
    const QChar first = grapheme.front();
    if (first.isHighSurrogate() && grapheme.size() > 1 && grapheme.at(1).isLowSurrogate())
        return QChar::isLetterOrNumber(QChar::surrogateToUcs4(first, grapheme.at(1)));
    return first.isLetterOrNumber();
}

} // namespace

namespace FileNames {

QString slugify(const QString &text)
{
    const QString lowered = text.toLower();

    // Every hyphen this pass emits stands alone (no grapheme starts with one), so suppressing
    // a hyphen after a hyphen or at the start collapses and front-trims in the same stroke.
    QString slug;
    slug.reserve(lowered.size());
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, lowered);
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1;
         start = end, end = graphemes.toNextBoundary()) {
        const QStringView grapheme = QStringView(lowered).sliced(start, end - start);
        if (isLetterOrNumber(grapheme))
            slug += grapheme;
        else if (!slug.isEmpty() && !slug.endsWith(u'-'))
            slug += u'-';
    }
    if (slug.endsWith(u'-'))
        slug.chop(1);

    // Counted on the finished slug: the cut must never split a surrogate pair or a combining
    // sequence, and a cut landing on a hyphen keeps it.
    QTextBoundaryFinder cut(QTextBoundaryFinder::Grapheme, slug);
    for (int kept = 0; kept < maximumSlugLength; ++kept) {
        if (cut.toNextBoundary() == -1)
            return slug;
    }
    slug.truncate(cut.position());
    return slug;
}

QString heicFileName(const QString &chosen)
{
    // Only a picture's suffix is replaced: "Abend 2.3" or "notizen.txt" keep their whole name.
    static const QStringList pictures{
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("png"),
        QStringLiteral("webp"), QStringLiteral("tif"),  QStringLiteral("tiff"),
        QStringLiteral("heif"), QStringLiteral("avif"), QStringLiteral("gif"),
        QStringLiteral("bmp"),  QStringLiteral("jxl")};
    const int dot = chosen.lastIndexOf(QLatin1Char('.'));
    const int slash = chosen.lastIndexOf(QLatin1Char('/'));
    if (dot > slash + 1) { // a name that is all suffix (".png") has none
        const QString suffix = chosen.mid(dot + 1);
        if (suffix.isEmpty())
            return chosen + QStringLiteral("heic");
        if (suffix.compare(QLatin1String("heic"), Qt::CaseInsensitive) == 0)
            return chosen;
        if (pictures.contains(suffix, Qt::CaseInsensitive))
            return chosen.left(dot) + QStringLiteral(".heic");
    }
    return chosen + QStringLiteral(".heic");
}

} // namespace FileNames
