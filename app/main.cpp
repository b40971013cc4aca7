// Orvalis: points a satellite dish by ear and by eye.
#include "app/app.h"
#include "tuner/tuner.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    if (CreateMainWindow(instance)) return 0;
    InitApplication();
    ShowWindow(AppState.mainWindow, showCommand);
    UpdateWindow(AppState.mainWindow);

    if (OpenTuner()) {
        CleanUp();
        return 0;
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
