// The call log: one line per call, appended and closed at once so that a test
// reading the file sees every line as soon as the call has returned, and can
// delete the file between runs.
#include "simcard/simcard.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

// The poller and the main thread both call the card: one writer at a time.
static SRWLOCK logLock = SRWLOCK_INIT;

constexpr size_t LOG_LINE_MAX = 1024;

void SimFilePath(const char* variable, const char* defaultName, char* path, DWORD size) {
    DWORD length = GetEnvironmentVariableA(variable, path, size);
    if (length > 0 && length < size) return;
    length = GetModuleFileNameA(DriverModule, path, size);
    if (length == 0 || length >= size) {
        path[0] = 0;
        return;
    }
    char* slash = strrchr(path, '\\');
    char* folderEnd = slash ? slash + 1 : path;
    if (size_t(folderEnd - path) + strlen(defaultName) >= size) {
        path[0] = 0;
        return;
    }
    strcpy(folderEnd, defaultName);
}

static void LogLine(uint32_t ms, const char* format, va_list args) {
    char line[LOG_LINE_MAX];
    int used = snprintf(line, sizeof line, "%lu tid=%lu ", (unsigned long)ms,
                        (unsigned long)GetCurrentThreadId());
    int rest = vsnprintf(line + used, sizeof line - used - 1, format, args);
    if (rest < 0) return;
    size_t length = strlen(line);  // a longer line is cut, never dropped
    line[length++] = '\n';

    char path[MAX_PATH];
    SimFilePath("SIMCARD_LOG", "simcard.log", path, sizeof path);
    if (!path[0]) return;
    AcquireSRWLockExclusive(&logLock);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line, DWORD(length), &written, nullptr);
        CloseHandle(file);
    }
    ReleaseSRWLockExclusive(&logLock);
}

void SimLog(uint32_t ms, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogLine(ms, format, args);
    va_end(args);
}

// The server's own calls go to the same log.
void DriverLog(uint32_t ms, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogLine(ms, format, args);
    va_end(args);
}
