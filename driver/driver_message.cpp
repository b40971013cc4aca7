// The drivers' own boxes: the program's texts are fixed, so what it cannot
// tell the user about the network or the phone page, the driver does.
#include "driver/driver_files.h"
#include "driver/driver_server.h"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static std::atomic<uint32_t> boxOpen{0};

// The box's thread holds its own reference on the DLL: the program may
// release the driver while the box is still up.
static DWORD WINAPI BoxThread(LPVOID parameter) {
    char* text = static_cast<char*>(parameter);
    MessageBoxA(nullptr, text, DRIVER_BOX_CAPTION, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
    free(text);
    boxOpen.store(0);
    FreeLibraryAndExitThread(DriverModule, 0);
}

void DriverMessage(bool wait, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (wait) {
        MessageBoxA(nullptr, text, DRIVER_BOX_CAPTION, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
        return;
    }
    uint32_t closed = 0;
    if (!boxOpen.compare_exchange_strong(closed, 1)) return;  // the log has the line
    HMODULE held;
    char* copy = _strdup(text);
    if (copy &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&BoxThread), &held)) {
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
