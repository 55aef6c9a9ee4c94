// A stand-in for the outside remote conform library: every call appends one line, with the
// calling thread and the arguments, to the file named by TYV_REMOTE_LOG (nothing when unset).
// Built in three variants from this source: whole; without fnAddConformEntry
// (TYV_WITHOUT_ADD_ENTRY); and one whose create call never fills the handle
// (TYV_WITHOUT_HANDLE).
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "trevanny/TyvRemoteClient.h"

#define TYV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<int> g_nextClient{1};

void logCall(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logCall(const char* format, ...)
{
    const char* path = std::getenv("TYV_REMOTE_LOG");
    if (!path || !*path) return;
    char line[512];
    int n = std::snprintf(line, sizeof line, "%ld ", static_cast<long>(::syscall(SYS_gettid)));
    va_list args;
    va_start(args, format);
    n += std::vsnprintf(line + n, sizeof line - static_cast<size_t>(n) - 1, format, args);
    va_end(args);
    if (n > static_cast<int>(sizeof line) - 2) n = static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ssize_t written = ::write(fd, line, static_cast<size_t>(n));  // one write: lines never mix
    (void)written;
    ::close(fd);
}

void answer(TyvMessage* message, const char* text)
{
    if (message) std::snprintf(message->text, sizeof message->text, "%s", text);
}

}  // namespace

TYV_EXPORT int fnCreateTyvProjectClient(int* client, const char* serverName, TyvMessage* message)
{
    logCall("fnCreateTyvProjectClient %s", serverName ? serverName : "(null)");
#ifndef TYV_WITHOUT_HANDLE
    if (client) *client = g_nextClient++;
#else
    (void)client;
#endif
    answer(message, "created");
    return 1;
}

TYV_EXPORT int fnDestroyTyvProjectClient(int client)
{
    logCall("fnDestroyTyvProjectClient %d", client);
    return 1;
}

TYV_EXPORT int fnSetSystemSampleRate(int client, const char* sampleRate, TyvMessage* message)
{
    logCall("fnSetSystemSampleRate %d %s", client, sampleRate ? sampleRate : "(null)");
    answer(message, "sample rate set");
    return 1;
}

TYV_EXPORT int fnSetSystemFrameRate(int client, const char* rateCode, int dropFrame, TyvMessage* message)
{
    logCall("fnSetSystemFrameRate %d %s %d", client, rateCode ? rateCode : "(null)", dropFrame);
    answer(message, "frame rate set");
    return 1;
}

TYV_EXPORT int fnInitiateReconform(int client)
{
    logCall("fnInitiateReconform %d", client);
    return 1;
}

#ifndef TYV_WITHOUT_ADD_ENTRY
TYV_EXPORT int fnAddConformEntry(int client, int track, int sourceIn, int sourceOut, int destinationIn, int destinationOut,
                                 TyvMessage* message)
{
    logCall("fnAddConformEntry %d %d %d %d %d %d", client, track, sourceIn, sourceOut, destinationIn, destinationOut);
    answer(message, "entry added");
    return 1;
}
#endif

TYV_EXPORT int fnDoTheConform(int client, TyvMessage* message)
{
    logCall("fnDoTheConform %d", client);
    answer(message, "conformed");
    return 1;
}

#define TYV_UNUSED(name)             \
    TYV_EXPORT int name(void)        \
    {                                \
        logCall("%s", #name);        \
        return 0;                    \
    }
TYV_UNUSED(fnCreateTyvControlClient)
TYV_UNUSED(fnDestroyTyvControlClient)
TYV_UNUSED(fnCreateTyvMeteringClient)
TYV_UNUSED(fnDestroyTyvMeteringClient)
TYV_UNUSED(fnCreateTyvThinEditClient)
TYV_UNUSED(fnDestroyTyvThinEditClient)
TYV_UNUSED(fnCreateTyvFullEditClient)
