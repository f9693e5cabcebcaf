// Reading the schedule of a dynamic wallpaper from its XMP. The table comes from files made
// elsewhere, so everything in it is checked before it is believed: its shape, every index
// against the file's pictures, every time and sun position against what is possible, and its
// size before libplist unfolds it.

#include "wallpaperschedule.h"

#include "heic/dynamicwallpaper.h"

#include <QXmlStreamReader>

#include <plist/plist.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

QString description(ScheduleError error)
{
    switch (error) {
    case ScheduleError::NoSchedule:
        return QStringLiteral("Die Datei ist kein dynamisches Wallpaper: Sie enthält keinen "
                              "Zeitplan für ihre Bilder.");
    case ScheduleError::Corrupt:
        return QStringLiteral("Der Zeitplan des dynamischen Wallpapers ist beschädigt.");
    case ScheduleError::MissingImage:
        return QStringLiteral("Der Zeitplan verweist auf ein Bild, das die Datei nicht enthält.");
    case ScheduleError::InvalidValue:
        return QStringLiteral("Der Zeitplan nennt eine Uhrzeit außerhalb des Tages oder einen "
                              "unmöglichen Sonnenstand.");
    case ScheduleError::Empty:
        return QStringLiteral("Der Zeitplan des dynamischen Wallpapers nennt kein einziges Bild.");
    case ScheduleError::TooManyEntries:
        return QStringLiteral("Der Zeitplan hat zu viele Einträge.");
    }
    return description(ScheduleError::Corrupt);
}

QString summary(const WallpaperSchedule &schedule)
{
    const QString pictures = schedule.imageCount == 1
                                 ? QStringLiteral("1 Bild")
                                 : QStringLiteral("%1 Bilder").arg(schedule.imageCount);
    QString kind;
    switch (schedule.kind) {
    case ScheduleKind::LightDark:
        kind = QStringLiteral("Hell/Dunkel");
        break;
    case ScheduleKind::TimeOfDay:
        kind = QStringLiteral("Tageszeit");
        break;
    case ScheduleKind::Solar:
        kind = QStringLiteral("Sonnenstand");
        break;
    }
    return QStringLiteral("Dynamisches Wallpaper: %1, %2").arg(pictures, kind);
}

namespace {

// The local names of the schedules, in the order one is preferred when a packet holds
// several: the sun's position says the most, a light/dark pair the least.
constexpr std::array<std::pair<ScheduleKind, const char *>, 3> kScheduleNames = {{
    {ScheduleKind::Solar, "solar"},
    {ScheduleKind::TimeOfDay, "h24"},
    {ScheduleKind::LightDark, "apr"},
}};

std::optional<std::size_t> scheduleSlot(QStringView localName)
{
    for (std::size_t i = 0; i < kScheduleNames.size(); ++i) {
        if (localName == QLatin1String(kScheduleNames[i].second))
            return i;
    }
    return std::nullopt;
}

struct ScheduleText
{
    ScheduleKind kind;
    QString base64;
};

// The text of the preferred schedule in the packet, as an attribute or as an element.
// A packet that breaks off is still read up to the break: what came before it is whole.
std::variant<ScheduleText, ScheduleError> findSchedule(const QByteArray &xmp)
{
    const QString ns = DynamicWallpaper::namespaceUri();
    std::array<std::optional<QString>, kScheduleNames.size()> found;
    bool namespaceSeen = false;
    QXmlStreamReader reader(xmp);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        for (const QXmlStreamNamespaceDeclaration &declaration : reader.namespaceDeclarations())
            namespaceSeen = namespaceSeen || declaration.namespaceUri() == ns;
        for (const QXmlStreamAttribute &attribute : reader.attributes()) {
            if (attribute.namespaceUri() != ns)
                continue;
            if (const auto slot = scheduleSlot(attribute.name()); slot && !found[*slot])
                found[*slot] = attribute.value().toString();
        }
        if (reader.namespaceUri() != ns)
            continue;
        if (const auto slot = scheduleSlot(reader.name())) {
            const QString text = reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (!reader.hasError() && !found[*slot])
                found[*slot] = text;
        }
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i])
            return ScheduleText{kScheduleNames[i].first, *found[i]};
    }
    // Broken XML that names the namespace was meant to be a dynamic wallpaper, also when the
    // break is in the very tag that declares it (an attribute given twice), which the reader
    // then never reports as declared.
    const bool namesNamespace = namespaceSeen || xmp.contains(ns.toUtf8());
    return reader.hasError() && namesNamespace ? ScheduleError::Corrupt : ScheduleError::NoSchedule;
}

// XMP may wrap long values over lines; anything else outside the alphabet is damage.
std::optional<QByteArray> fromBase64(const QString &text)
{
    QByteArray compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        if (c.unicode() > 0x7f)
            return std::nullopt;
        compact += char(c.unicode());
    }
    auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    return decoded.decoded;
}

enum class PlistSize { Fits, TooLarge, Malformed };

// What libplist would build from a binary property list, measured before it builds it.
// libplist copies an object for every reference to it, so a few hundred bytes that refer to
// one array again and again unfold into billions of nodes. This walks the object graph once,
// each object measured once, and adds up what the copies would cost: a node each, plus the
// length of strings and data.
class PlistMeasure
{
public:
    // An entry of a schedule is a dictionary of two or three numbers, seven nodes; the budget
    // leaves room for keys we do not read, and none for ten times the entries.
    static constexpr qint64 kBudget = 16 * qint64(kMaxScheduleEntries) + 256;

    explicit PlistMeasure(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uint8_t *>(bytes.constData())), m_size(bytes.size())
    {
    }

    PlistSize measure()
    {
        constexpr qsizetype kTrailer = 32;
        if (m_size < kHeader + kTrailer || std::memcmp(m_data, "bplist00", kHeader) != 0)
            return PlistSize::Malformed;
        const uint8_t *trailer = m_data + m_size - kTrailer;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_count = bigEndian(trailer + 8, 8);
        const uint64_t top = bigEndian(trailer + 16, 8);
        m_table = bigEndian(trailer + 24, 8);
        const uint64_t tableEnd = uint64_t(m_size - kTrailer);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 ||
            m_count == 0 || top >= m_count || m_table < uint64_t(kHeader) || m_table > tableEnd ||
            m_count > (tableEnd - m_table) / m_offsetSize)
            return PlistSize::Malformed;
        // m_count is below the size of the bytes, so this is bounded by them.
        m_costs.assign(std::size_t(m_count), 0);
        const qint64 total = cost(top, 0);
        return total < 0         ? PlistSize::Malformed
               : total > kBudget ? PlistSize::TooLarge
                                 : PlistSize::Fits;
    }

private:
    static constexpr qsizetype kHeader = 8;
    // Deeper than any schedule (four levels) by far; libplist recurses once per level.
    static constexpr int kMaxDepth = 16;

    static uint64_t bigEndian(const uint8_t *p, int bytes)
    {
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | p[i];
        return value;
    }

    // The cost of object `index` with everything it refers to; -1 when malformed (out of
    // range, cyclic, too deep). Stops adding once over the budget.
    qint64 cost(uint64_t index, int depth)
    {
        if (depth > kMaxDepth)
            return -1;
        qint64 &known = m_costs[std::size_t(index)];
        if (known != 0)
            return known; // measured, or -1: on the current path, a cycle
        known = -1;
        const uint64_t offset = bigEndian(m_data + m_table + index * m_offsetSize, m_offsetSize);
        if (offset < uint64_t(kHeader) || offset >= m_table)
            return -1;
        const uint8_t *p = m_data + offset;
        const uint8_t *end = m_data + m_table;
        const int type = *p >> 4;
        uint64_t length = *p & 0xf;
        ++p;
        const bool data = type == 0x4 || type == 0x5 || type == 0x6;
        const bool container = type == 0xa || type == 0xc || type == 0xd;
        if ((data || container) && length == 0xf) {
            if (p >= end || (*p >> 4) != 0x1 || (*p & 0xf) > 3)
                return -1;
            const int bytes = 1 << (*p & 0xf);
            if (end - ++p < bytes)
                return -1;
            length = bigEndian(p, bytes);
            p += bytes;
        }
        const uint64_t room = uint64_t(end - p);
        qint64 total = 1;
        if (data) {
            const uint64_t unit = type == 0x6 ? 2 : 1;
            if (length > room / unit)
                return -1;
            total += qint64(length * unit / 64);
        } else if (container) {
            const uint64_t refs = type == 0xd ? 2 : 1;
            if (length > room / (refs * m_refSize))
                return -1;
            for (uint64_t i = 0; i < length * refs && total <= kBudget; ++i, p += m_refSize) {
                const uint64_t child = bigEndian(p, m_refSize);
                if (child >= m_count)
                    return -1;
                const qint64 childCost = cost(child, depth + 1);
                if (childCost < 0)
                    return -1;
                total += childCost;
            }
        }
        known = total;
        return total;
    }

    const uint8_t *m_data;
    qsizetype m_size;
    int m_offsetSize = 0;
    int m_refSize = 0;
    uint64_t m_count = 0;
    uint64_t m_table = 0;
    std::vector<qint64> m_costs; // 0 not yet measured, -1 being measured
};

struct PlistDeleter
{
    void operator()(void *p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

plist_t dictItem(plist_t dict, const char *key)
{
    return dict && plist_get_node_type(dict) == PLIST_DICT ? plist_dict_get_item(dict, key)
                                                           : nullptr;
}

// libplist keeps every integer as 64 unsigned bits; a negative one reads back through its
// two's complement.
std::optional<double> number(plist_t node)
{
    switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return double(int64_t(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    default:
        return std::nullopt;
    }
}

std::variant<int, ScheduleError> imageIndex(plist_t dict, int imageCount)
{
    const std::optional<double> value = number(dictItem(dict, "i"));
    if (!value)
        return ScheduleError::Corrupt;
    if (!(*value >= 0 && *value < imageCount))
        return ScheduleError::MissingImage;
    if (*value != std::floor(*value))
        return ScheduleError::Corrupt;
    return int(*value);
}

std::variant<LightDarkPair, ScheduleError> lightDarkPair(plist_t dict, int imageCount)
{
    LightDarkPair pair;
    for (auto [key, target] : {std::pair{"l", &pair.light}, std::pair{"d", &pair.dark}}) {
        const std::optional<double> value = number(dictItem(dict, key));
        if (!value)
            return ScheduleError::Corrupt;
        if (!(*value >= 0 && *value < imageCount))
            return ScheduleError::MissingImage;
        if (*value != std::floor(*value))
            return ScheduleError::Corrupt;
        *target = int(*value);
    }
    return pair;
}

// The entries of an h24 or solar table into `schedule`.
std::optional<ScheduleError> readEntries(plist_t list, WallpaperSchedule &schedule)
{
    if (!list || plist_get_node_type(list) != PLIST_ARRAY)
        return ScheduleError::Corrupt;
    const uint32_t count = plist_array_get_size(list);
    if (count == 0)
        return ScheduleError::Empty;
    if (count > uint32_t(kMaxScheduleEntries))
        return ScheduleError::TooManyEntries;
    for (uint32_t i = 0; i < count; ++i) {
        const plist_t entry = plist_array_get_item(list, i);
        const auto index = imageIndex(entry, schedule.imageCount);
        if (const auto *error = std::get_if<ScheduleError>(&index))
            return *error;
        const int image = std::get<int>(index);
        if (schedule.kind == ScheduleKind::TimeOfDay) {
            const std::optional<double> t = number(dictItem(entry, "t"));
            if (!t)
                return ScheduleError::Corrupt;
            if (!(*t >= 0 && *t <= 1))
                return ScheduleError::InvalidValue;
            // The end of the day is its start.
            schedule.times.append({image, *t == 1 ? 0.0 : *t});
        } else {
            const std::optional<double> altitude = number(dictItem(entry, "a"));
            const std::optional<double> azimuth = number(dictItem(entry, "z"));
            if (!altitude || !azimuth)
                return ScheduleError::Corrupt;
            if (!(*altitude >= -90 && *altitude <= 90) || !std::isfinite(*azimuth))
                return ScheduleError::InvalidValue;
            double z = std::fmod(*azimuth, 360.0);
            if (z < 0)
                z += 360.0;
            // A tiny negative azimuth rounds up to 360 itself.
            schedule.sun.append({image, *altitude, z >= 360.0 ? 0.0 : z});
        }
    }
    std::stable_sort(
        schedule.times.begin(), schedule.times.end(),
        [](const TimedPicture &a, const TimedPicture &b) { return a.dayFraction < b.dayFraction; });
    return std::nullopt;
}

} // namespace

std::variant<WallpaperSchedule, ScheduleError> parseScheduleXmp(const QByteArray &xmp,
                                                                int imageCount)
{
    const auto found = findSchedule(xmp);
    if (const auto *error = std::get_if<ScheduleError>(&found))
        return *error;
    const ScheduleText &text = std::get<ScheduleText>(found);
    const std::optional<QByteArray> bytes = fromBase64(text.base64);
    if (!bytes)
        return ScheduleError::Corrupt;
    switch (PlistMeasure(*bytes).measure()) {
    case PlistSize::Malformed:
        return ScheduleError::Corrupt;
    case PlistSize::TooLarge:
        return ScheduleError::TooManyEntries;
    case PlistSize::Fits:
        break;
    }
    plist_t root = nullptr;
    plist_from_bin(bytes->constData(), uint32_t(bytes->size()), &root);
    const PlistPtr owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT)
        return ScheduleError::Corrupt;

    WallpaperSchedule schedule;
    schedule.kind = text.kind;
    schedule.imageCount = imageCount;
    // apr is the pair itself; the others may carry one under "ap".
    const plist_t pair = text.kind == ScheduleKind::LightDark ? root : dictItem(root, "ap");
    if (pair) {
        const auto read = lightDarkPair(pair, imageCount);
        if (const auto *error = std::get_if<ScheduleError>(&read))
            return *error;
        schedule.lightDark = std::get<LightDarkPair>(read);
    }
    if (text.kind != ScheduleKind::LightDark) {
        const plist_t list = dictItem(root, text.kind == ScheduleKind::TimeOfDay ? "ti" : "si");
        if (const auto error = readEntries(list, schedule))
            return *error;
    }
    return schedule;
}
