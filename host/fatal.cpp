// Fatal errors through the installed reporter. The reporter is set at start-up, before any
// other thread exists, and read by whichever thread fails.
#include "host/fatal.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/system.h"

static std::atomic<FatalReporter> reporter{nullptr};

static void ReportToStderr(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    SystemExitProcess(1);
}

void FatalErrorSetReporter(FatalReporter installed)
{
    reporter.store(installed);
}

void FatalError(const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    FatalReporter report = reporter.load();
    (report ? report : ReportToStderr)(message);
    // A reporter that returns broke its contract; the program still must not go on.
    SystemExitProcess(1);
}
