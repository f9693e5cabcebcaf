#include "terminalprogress.h"

#include <cmath>

#include <unistd.h>

TerminalProgress::TerminalProgress(QList<WriteProgress::Planned> plan, std::FILE *stream)
    : m_stream(stream), m_progress(std::move(plan))
{
    if (!isatty(fileno(stream)))
        return;
    m_progress.setListener([this](WriteStep step, double done) {
        // One line, rewritten in place.
        std::fprintf(m_stream, "\r\033[K%3ld %% %s", std::lround(done * 100),
                     qPrintable(label(step)));
        std::fflush(m_stream);
        m_shown = true;
    });
}

TerminalProgress::~TerminalProgress()
{
    if (m_shown) {
        std::fprintf(m_stream, "\r\033[K");
        std::fflush(m_stream);
    }
}
