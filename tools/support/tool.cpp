// Shared tool behaviour over the C library's streams. Main thread only.
#include "tools/support/tool.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file.h"

namespace {

constexpr auto TERMINAL_INTERVAL = std::chrono::milliseconds(100);
constexpr auto LOG_INTERVAL = std::chrono::seconds(5);

// What every message needs; owned by the main thread.
struct ToolState {
    const char* name = "tool";
    int stdoutError = 0; // the reason the first failed write to stdout gave
};
ToolState g_tool;

bool AllDigits(const char* begin, const char* end)
{
    for (const char* p = begin; p < end; p++)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

} // namespace

void ToolInit(const char* name) { g_tool.name = name; }

int ToolFail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", g_tool.name, message.c_str());
    return 1;
}

int ToolUsage(const std::string& problem, const char* usage)
{
    if (!problem.empty())
        std::fprintf(stderr, "%s: %s\n", g_tool.name, problem.c_str());
    std::fputs(usage, stderr);
    return 2;
}

int ToolPrintf(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    errno = 0;
    int result = std::vprintf(format, arguments);
    va_end(arguments);
    if (result < 0 && !g_tool.stdoutError)
        g_tool.stdoutError = errno ? errno : EIO;
    return result;
}

bool ToolWrite(const void* data, size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) == size)
        return true;
    if (!g_tool.stdoutError)
        g_tool.stdoutError = errno ? errno : EIO;
    return false;
}

bool ToolStdoutOk() { return !std::ferror(stdout); }

int ToolFinish(int code)
{
    errno = 0;
    bool flushed = std::fflush(stdout) == 0;
    int reason = g_tool.stdoutError ? g_tool.stdoutError : errno;
    if (flushed && !std::ferror(stdout))
        return code;
    // Written without ToolPrintf and dropped by the library: no reason is left to tell.
    if (reason == 0)
        reason = EIO;
    return ToolFail(std::string("writing standard output failed: ") + std::strerror(reason));
}

bool ToolParseDecimal(const char* text, double* value)
{
    const char* end = text + std::strlen(text);
    const char* dot = std::strchr(text, '.');
    const char* integerEnd = dot ? dot : end;
    bool digits = integerEnd > text || (dot && end > dot + 1);
    if (!digits || !AllDigits(text, integerEnd) || (dot && !AllDigits(dot + 1, end)))
        return false;
    *value = std::strtod(text, nullptr);
    return true;
}

bool ToolParseWhole(const char* text, uint64_t max, uint64_t* value)
{
    const char* end = text + std::strlen(text);
    if (end == text || !AllDigits(text, end))
        return false;
    uint64_t v = 0;
    for (const char* p = text; p < end; p++) {
        uint64_t digit = uint64_t(*p - '0');
        if (digit > max || v > (max - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

void ToolProgressBegin(ToolProgress* progress)
{
    *progress = ToolProgress();
    progress->terminal = FileIsTerminal(stderr);
    progress->start = progress->last = std::chrono::steady_clock::now();
}

void ToolProgressShow(ToolProgress* progress, const std::string& text)
{
    auto now = std::chrono::steady_clock::now();
    std::string line = std::string(g_tool.name) + ": " + text;
    if (!progress->terminal) {
        if (now - progress->last < LOG_INTERVAL)
            return;
        progress->last = now;
        std::fprintf(stderr, "%s\n", line.c_str());
        return;
    }
    if (progress->standing && now - progress->last < TERMINAL_INTERVAL)
        return;
    progress->last = now;
    size_t width = line.size();
    if (width < progress->width)
        line.append(progress->width - width, ' ');
    progress->width = width;
    progress->standing = true;
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
}

void ToolProgressEnd(ToolProgress* progress, bool keep)
{
    if (!progress->standing)
        return;
    if (keep)
        std::fputs("\n", stderr);
    else
        std::fprintf(stderr, "\r%*s\r", int(progress->width), "");
    std::fflush(stderr);
    progress->standing = false;
}
