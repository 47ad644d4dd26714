#include "app/passwordinput.h"

#include <QByteArray>
#include <termios.h>
#include <unistd.h>

namespace {

// Far more than the longest password takes: a longer line is read this far and refused as
// too long, never held whole.
constexpr qsizetype MAX_LINE_BYTES = 64 * 1024;

// Echo off on a terminal for as long as it lives.
class QuietTerminal final {
public:
    explicit QuietTerminal(int fd) : m_fd(fd) {
        m_quiet = ::isatty(fd) && ::tcgetattr(fd, &m_saved) == 0;
        if (!m_quiet)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        m_quiet = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    ~QuietTerminal() {
        if (!m_quiet)
            return;
        ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
        // The line break the typing did not show.
        std::fputc('\n', stderr);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_quiet = false;
};

} // namespace

std::optional<QString> ReadPasswordLine(std::FILE* in, const QString& prompt) {
    const int fd = ::fileno(in);
    if (::isatty(fd)) {
        std::fputs(qUtf8Printable(prompt + QLatin1Char(' ')), stderr);
        std::fflush(stderr);
    }
    QByteArray line;
    {
        const QuietTerminal quiet(fd);
        int c = 0;
        while (line.size() < MAX_LINE_BYTES && (c = std::getc(in)) != EOF && c != '\n')
            line += char(c);
    }
    if (std::ferror(in))
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}
