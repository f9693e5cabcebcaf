#include "completions.h"

#include "options.h"

#include <functional>

namespace {

QString words(CliValue value)
{
    return cliWords(value).join(QLatin1Char(' '));
}

QString optionNames(const std::function<bool(const CliOptionRow &)> &which)
{
    QStringList names;
    for (const CliOptionRow &row : cliOptions())
        if (which(row))
            names << QLatin1String(row.name);
    return names.join(QLatin1Char(' '));
}

QString bash()
{
    QString cases;
    // The options whose value is one of a list, each list once.
    for (const CliValue value :
         {CliValue::Style, CliValue::Preset, CliValue::Count, CliValue::Shell}) {
        cases += QStringLiteral("    %1)\n"
                                "        COMPREPLY=($(compgen -W \"%2\" -- \"$cur\"))\n"
                                "        return ;;\n")
                     .arg(optionNames([value](const CliOptionRow &row) {
                              return row.value == value;
                          }).replace(QLatin1Char(' '), QStringLiteral(" | ")),
                          words(value));
    }
    cases += QStringLiteral("    %1)\n"
                            "        compopt -o nospace\n"
                            "        COMPREPLY=($(compgen -S = -W \"%2\" -- \"$cur\"))\n"
                            "        return ;;\n")
                 .arg(optionNames([](const CliOptionRow &row) {
                          return row.value == CliValue::Field;
                      }).replace(QLatin1Char(' '), QStringLiteral(" | ")),
                      words(CliValue::Field));
    cases += QStringLiteral("    %1)\n        return ;;\n")
                 .arg(optionNames([](const CliOptionRow &row) {
                          return row.value == CliValue::Text;
                      }).replace(QLatin1Char(' '), QStringLiteral(" | ")));
    return QStringLiteral(
               "# bash completion for voskan-render, as `voskan-render --completion bash` "
               "prints it.\n\n"
               "_voskan_render()\n"
               "{\n"
               "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
               "    case $prev in\n"
               "%1"
               "    esac\n"
               "    if [[ $cur == -* ]]; then\n"
               "        COMPREPLY=($(compgen -W \"%2\" -- \"$cur\"))\n"
               "        return\n"
               "    fi\n"
               "    compopt -o filenames\n"
               "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "}\n"
               "complete -F _voskan_render voskan-render\n")
        .arg(cases, optionNames([](const CliOptionRow &) { return true; }));
}

// A text inside _arguments' [explanation] or between its colons.
QString zshEscaped(QString text, std::initializer_list<char> special)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    for (const char c : special)
        text.replace(QLatin1Char(c), QStringLiteral("\\") + QLatin1Char(c));
    return text;
}

QString zsh()
{
    QString lines;
    for (const CliOptionRow &row : cliOptions()) {
        const bool repeated = row.value == CliValue::Field;
        const bool alone = row.option == CliOption::Version || row.option == CliOption::Help ||
                           row.option == CliOption::Completion;
        QString argument = (alone ? QStringLiteral("(- *)") : QString()) +
                           (repeated ? QStringLiteral("*") : QString()) + QLatin1String(row.name) +
                           QLatin1Char('[') +
                           zshEscaped(QString::fromUtf8(row.summary), {'[', ']'}) +
                           QLatin1Char(']');
        // A value: its message, then how it is completed.
        QString action;
        switch (row.value) {
        case CliValue::None:
        case CliValue::Text:
            break;
        case CliValue::File:
            action = QStringLiteral("_files");
            break;
        case CliValue::Field:
            action = QStringLiteral("{compadd -S= -a fields}");
            break;
        case CliValue::Style:
        case CliValue::Preset:
        case CliValue::Count:
        case CliValue::Shell:
            action = QLatin1Char('(') + words(row.value) + QLatin1Char(')');
            break;
        }
        if (row.value != CliValue::None)
            argument += QLatin1Char(':') + zshEscaped(QString::fromUtf8(row.placeholder), {':'}) +
                        QLatin1Char(':') + action;
        lines +=
            QStringLiteral("  '%1' \\\n").arg(argument.replace(u'\'', QStringLiteral("'\\''")));
    }
    return QStringLiteral("#compdef voskan-render\n"
                          "# zsh completion for voskan-render, as `voskan-render --completion "
                          "zsh` prints it.\n\n"
                          "local -a fields=(%1)\n"
                          "_arguments -s \\\n"
                          "%2"
                          "  '*:Datei:_files'\n")
        .arg(words(CliValue::Field), lines);
}

// A text inside fish's single quotes.
QString fishQuoted(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString fish()
{
    QString lines;
    for (const CliOptionRow &row : cliOptions()) {
        QString line =
            QStringLiteral("complete -c voskan-render -l ") + QLatin1String(row.name + 2);
        if (row.option == CliOption::Help)
            line += QStringLiteral(" -s h");
        switch (row.value) {
        case CliValue::None:
            break;
        case CliValue::Text:
            line += QStringLiteral(" -x");
            break;
        case CliValue::File:
            line += QStringLiteral(" -rF");
            break;
        case CliValue::Field:
            // fish adds no space after a word ending in "=".
            line +=
                QStringLiteral(" -xa ") +
                fishQuoted(cliWords(CliValue::Field).join(QStringLiteral("= ")) + QLatin1Char('='));
            break;
        case CliValue::Style:
        case CliValue::Preset:
        case CliValue::Count:
        case CliValue::Shell:
            line += QStringLiteral(" -xa ") + fishQuoted(words(row.value));
            break;
        }
        lines += line + QStringLiteral(" -d ") + fishQuoted(QString::fromUtf8(row.summary)) +
                 QLatin1Char('\n');
    }
    return QStringLiteral("# fish completion for voskan-render, as `voskan-render --completion "
                          "fish` prints it.\n\n%1")
        .arg(lines);
}

} // namespace

QStringList completionShells()
{
    return {QStringLiteral("bash"), QStringLiteral("zsh"), QStringLiteral("fish")};
}

std::optional<QString> completionScript(const QString &shell)
{
    if (shell == QLatin1String("bash"))
        return bash();
    if (shell == QLatin1String("zsh"))
        return zsh();
    if (shell == QLatin1String("fish"))
        return fish();
    return std::nullopt;
}
