#include "driver/driver_files.h"
#include "driver/driver_server.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The poller and the main thread both call the driver: one writer at a time.
static SRWLOCK logLock = SRWLOCK_INIT;

constexpr size_t LOG_LINE_MAX = 1024;

void DriverFilePath(const char* variable, const char* defaultName, char* path, DWORD size) {
    DWORD length = variable ? GetEnvironmentVariableA(variable, path, size) : 0;
    if (length > 0 && length < size) return;
    length = GetModuleFileNameA(DriverModule, path, size);
    char* slash = length > 0 && length < size ? strrchr(path, '\\') : nullptr;
    char* folderEnd = slash ? slash + 1 : path;
    if (length == 0 || length >= size || size_t(folderEnd - path) + strlen(defaultName) >= size) {
        path[0] = 0;
        return;
    }
    strcpy(folderEnd, defaultName);
}

void AppendDriverLog(const char* variable, const char* defaultName, uint32_t ms, const char* format, va_list args) {
    char line[LOG_LINE_MAX];
    int used = snprintf(line, sizeof line, "%lu tid=%lu ", (unsigned long)ms, (unsigned long)GetCurrentThreadId());
    if (vsnprintf(line + used, sizeof line - used - 1, format, args) < 0) return;
    size_t length = strlen(line);
    line[length++] = '\n';
    char path[MAX_PATH];
    DriverFilePath(variable, defaultName, path, sizeof path);
    if (!path[0]) return;
    AcquireSRWLockExclusive(&logLock);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line, DWORD(length), &written, nullptr);
        CloseHandle(file);
    }
    ReleaseSRWLockExclusive(&logLock);
}

char* ReadDriverFile(const char* variable, const char* defaultName, DWORD maxBytes, char* path, DWORD pathSize,
                     DWORD* length, HRESULT* result) {
    DriverFilePath(variable, defaultName, path, pathSize);
    *length = 0;
    HANDLE file = path[0] ? CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        *result = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    char* text = static_cast<char*>(malloc(maxBytes + 1));
    *result = S_OK;
    if (!text || !ReadFile(file, text, maxBytes, length, nullptr)) {
        *result = text ? HRESULT_FROM_WIN32(GetLastError()) : E_OUTOFMEMORY;
        free(text);
        text = nullptr;
    } else {
        text[*length] = 0;
    }
    CloseHandle(file);
    return text;
}
