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
    // "--hold FILE": another process that keeps FILE open, sharing nothing,
    // until it is killed (the transponder editing test needs one).
    if (argc == 3 && !strcmp(argv[1], "--hold")) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        puts("held");
        fflush(stdout);
        Sleep(INFINITE);
    }
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
