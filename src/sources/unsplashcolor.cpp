#include "unsplashcolor.h"

std::optional<QColor> colorFromHex(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    qsizetype begin = 0, end = text->size();
    while (begin < end && text->at(begin) == u'#')
        ++begin;
    while (end > begin && text->at(end - 1) == u'#')
        --end;
    const QStringView digits = QStringView(*text).mid(begin, end - begin);
    if (digits.size() != 6)
        return std::nullopt;
    // Checked by hand: toUInt() would also take "0x", signs and surrounding blanks.
    quint32 value = 0;
    for (const QChar c : digits) {
        const int digit = c.isDigit() && c.unicode() < 0x80 ? c.unicode() - u'0'
                          : c >= u'a' && c <= u'f'          ? c.unicode() - u'a' + 10
                          : c >= u'A' && c <= u'F'          ? c.unicode() - u'A' + 10
                                                            : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + quint32(digit);
    }
    return QColor(int((value >> 16) & 0xff), int((value >> 8) & 0xff), int(value & 0xff));
}
