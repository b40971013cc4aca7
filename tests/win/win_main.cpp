// The win test layer: GoogleTest under Wine, on the real AppState with the
// program's own resources. The main window is made once, as WinMain makes it.
#include "app/app.h"
#include "tests/win/win_fixture.h"
#include <gtest/gtest.h>

void PumpMessages(int milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while ((int)(end - GetTickCount()) > 0);
}

int main(int argc, char** argv) {
    // Helpers of the e2e tests, run as another process of the prefix.
    // "--hold FILE": keeps FILE open, sharing nothing, until it is killed.
    if (argc == 3 && !strcmp(argv[1], "--hold")) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        puts("held");
        fflush(stdout);
        Sleep(INFINITE);
    }
    // "--ping": 0 when the program's main window answers a message within 5 s.
    if (argc == 2 && !strcmp(argv[1], "--ping")) {
        DWORD_PTR result = 0;
        HWND window = FindWindowA("107", "Orvalis");
        return !(window && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    }
    // "--close": asks the program's main window to close, as a task manager would.
    if (argc == 2 && !strcmp(argv[1], "--close")) return !PostMessageA(FindWindowA("107", "Orvalis"), WM_CLOSE, 0, 0);
    testing::InitGoogleTest(&argc, argv);
    if (CreateMainWindow(GetModuleHandleA(nullptr))) {
        fprintf(stderr, "the main window could not be created\n");
        return 1;
    }
    InitApplication();
    ShowWindow(AppState.mainWindow, SW_SHOWNORMAL);
    UpdateWindow(AppState.mainWindow);
    return RUN_ALL_TESTS();
}
