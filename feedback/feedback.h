// What the feedback subsystem offers: the sound thread, the meter thread and
// the signal log.
#pragma once
#include <windows.h>

DWORD WINAPI SoundFeedbackThread(LPVOID);
DWORD WINAPI MeterThread(LPVOID);
// Where the pointer to a clip (numbered as the sound schedule numbers them) lives.
const void** SoundClipSlot(int clip);
// Plays a clip from memory at once, cutting off the one playing; a missing clip is silence.
void PlaySoundClip(int clip);

// The full-screen five-minute signal graph and its log file; opened modally
// on the empty dialog template by a double-click while the finder runs.
INT_PTR CALLBACK SignalLogDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Draws a window's text at (x, 25) in the DC's font and colours; true when
// there was nothing to draw.
int DrawControlText(HWND window, HDC dc, int x);
