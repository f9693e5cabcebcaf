// The gsettings calls of the desktops that keep their wallpaper there, so the quoting that
// lets a folder named with a quote or backslash through is written and read back in one way.

#include "gsettings.h"

#include "pictureuri.h"

QString gvariantString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

std::optional<QString> parseGVariantString(const QByteArray &output)
{
    const QString text = QString::fromUtf8(output).trimmed();
    if (text.size() < 2 || text.front() != text.back() ||
        (text.front() != QLatin1Char('\'') && text.front() != QLatin1Char('"')))
        return std::nullopt;
    QString value;
    const QString inner = text.mid(1, text.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner.at(i) == QLatin1Char('\\') && i + 1 < inner.size())
            ++i;
        value += inner.at(i);
    }
    return value;
}

std::optional<QString> readGsetting(const CommandRunner &runner, const QString &schema,
                                    const QString &key)
{
    const CommandResult result =
        runner(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, key});
    if (!result.ok)
        return std::nullopt;
    if (const auto value = parseGVariantString(result.output))
        return localPath(*value);
    return std::nullopt;
}

std::optional<QString> writeGsettings(const CommandRunner &runner, const QString &schema,
                                      const QList<std::pair<QString, QString>> &values)
{
    QList<QStringList> calls;
    for (const auto &[key, value] : values)
        calls.append({QStringLiteral("set"), schema, key, value});
    return runAll(runner, QStringLiteral("gsettings"), calls);
}
