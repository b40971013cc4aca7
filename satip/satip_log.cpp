// satipcard.log and the bridge's own boxes: the program's texts are fixed,
// so what it cannot tell the user about the network, the bridge does.
#include "satip/satip.h"
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static SRWLOCK logLock = SRWLOCK_INIT;
constexpr size_t LINE_MAX_BYTES = 1024;
constexpr char BOX_CAPTION[] = "SAT>IP tuner";

static void LogPath(char* path, DWORD size) {
    DWORD length = GetEnvironmentVariableA("SATIPCARD_LOG", path, size);
    if (length > 0 && length < size) return;
    length = GetModuleFileNameA(DriverModule, path, size);
    char* slash = length > 0 && length < size ? strrchr(path, '\\') : nullptr;
    if (!slash || size_t(slash + 1 - path) + sizeof "satipcard.log" > size) {
        path[0] = 0;
        return;
    }
    strcpy(slash + 1, "satipcard.log");
}

// "<ms> tid=<id> <text>\n", appended and closed at once: a reader sees each
// line as soon as it is written, and may delete the file at any time.
static void WriteLine(uint32_t ms, const char* format, va_list args) {
    char line[LINE_MAX_BYTES];
    int used = snprintf(line, sizeof line, "%lu tid=%lu ", (unsigned long)ms, (unsigned long)GetCurrentThreadId());
    if (vsnprintf(line + used, sizeof line - used - 1, format, args) < 0) return;
    size_t length = strlen(line);  // a longer line is cut, never dropped
    line[length++] = '\n';
    char path[MAX_PATH];
    LogPath(path, sizeof path);
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

void BridgeLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(DriverNow(), format, args);
    va_end(args);
}

void DriverLog(uint32_t ms, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(ms, format, args);
    va_end(args);
}

static std::atomic<uint32_t> boxOpen{0};

// The box's thread holds its own reference on the DLL: the program may
// release the bridge while the box is still up.
static DWORD WINAPI BoxThread(LPVOID parameter) {
    char* text = static_cast<char*>(parameter);
    MessageBoxA(nullptr, text, BOX_CAPTION, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
    free(text);
    boxOpen.store(0);
    FreeLibraryAndExitThread(DriverModule, 0);
}

void BridgeMessage(bool wait, const char* format, ...) {
    char text[LINE_MAX_BYTES];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (wait) {
        MessageBoxA(nullptr, text, BOX_CAPTION, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
        return;
    }
    uint32_t closed = 0;
    if (!boxOpen.compare_exchange_strong(closed, 1)) return;  // the log has the line
    HMODULE held;
    char* copy = _strdup(text);
    if (copy && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&BoxThread),
                                   &held)) {
        HANDLE thread = CreateThread(nullptr, 0, BoxThread, copy, 0, nullptr);
        if (thread) {
            CloseHandle(thread);
            return;
        }
        FreeLibrary(held);
    }
    free(copy);
    boxOpen.store(0);
}
