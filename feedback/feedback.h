// What the feedback subsystem offers: the sound thread and the meter thread.
#pragma once
#include <windows.h>

DWORD WINAPI SoundFeedbackThread(LPVOID);
DWORD WINAPI MeterThread(LPVOID);
void DrawMeterFrame();
// Where the pointer to a clip (numbered as the sound schedule numbers them) lives.
const void** SoundClipSlot(int clip);
