// What the feedback subsystem offers: the sound thread and the meter thread.
#pragma once
#include <windows.h>

DWORD WINAPI SoundFeedbackThread(LPVOID);
DWORD WINAPI MeterThread(LPVOID);
void DrawMeterFrame();
