#pragma once

// A write of several seconds on the command line shows how far it is — on a terminal only: a
// script reading the output or a log gets nothing but the result lines.

#include "files/writeprogress.h"

#include <cstdio>

class TerminalProgress
{
public:
    // Shows the progress on `stream` when it is a terminal.
    explicit TerminalProgress(QList<WriteProgress::Planned> plan, std::FILE *stream = stderr);
    // Clears the line it wrote, so the result follows on a clean line.
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    WriteProgress *progress() { return &m_progress; }

private:
    std::FILE *m_stream;
    bool m_shown = false;
    WriteProgress m_progress;
};
