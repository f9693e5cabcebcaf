// The follower's program, found the same way wherever it is started from: the autostart
// entry, sway's snippet, or a set that starts it at once.

#include "followerprogram.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

QString followerProgram()
{
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/voskan-render");
    return QFileInfo(beside).isExecutable() ? beside : QStringLiteral("voskan-render");
}

QString followerCommand()
{
    // Also read by a shell (sway's exec): a path that needs quoting falls back to PATH.
    const QString program = followerProgram();
    return isPlainPath(program) ? program : QStringLiteral("voskan-render");
}

QString quoted(const QString &text, QChar quote,
               std::initializer_list<std::pair<QChar, const char *>> escapes)
{
    QString escaped = text;
    for (const auto &[special, replacement] : escapes)
        escaped.replace(special, QLatin1String(replacement));
    return quote + escaped + quote;
}

QString userConfigFile(const QString &relative)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + relative;
}

QByteArray autostartEntry(const QString &name, const QString &comment, const QString &program,
                          const QString &arguments)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=%2\n"
                          "Exec=%3 %4\n"
                          "Icon=de.voskan.Voskan\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n")
        .arg(name, comment, desktopExecArgument(program), arguments)
        .toUtf8();
}

QString desktopExecArgument(const QString &argument)
{
    QString value = isPlainPath(argument)
                        ? argument
                        : quoted(argument, u'"',
                                 {{u'\\', "\\\\"}, {u'"', "\\\""}, {u'`', "\\`"}, {u'$', "\\$"}});
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return value;
}

std::optional<QString> controlCharacterIn(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control)
            continue;
        if (c == u'\n')
            return QStringLiteral("einen Zeilenumbruch");
        if (c == u'\t')
            return QStringLiteral("einen Tabulator");
        return QStringLiteral("ein Steuerzeichen (U+%1)")
            .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'));
    }
    return std::nullopt;
}

std::optional<QString> desktopEntryProgramFault(const QString &program)
{
    if (const auto control = controlCharacterIn(program))
        return control;
    if (program.contains(QLatin1Char('%')))
        return QStringLiteral("ein %-Zeichen");
    return std::nullopt;
}

bool isPlainPath(const QString &path)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    return plain.match(path).hasMatch();
}
