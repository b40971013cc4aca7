// What the feedback subsystem offers: the sound thread and the meter thread.
#pragma once
#include <windows.h>

DWORD WINAPI SoundFeedbackThread(LPVOID);
DWORD WINAPI MeterThread(LPVOID);
// Where the pointer to a clip (numbered as the sound schedule numbers them) lives.
const void** SoundClipSlot(int clip);
// Plays a clip from memory at once, cutting off the one playing; a missing clip is silence.
void PlaySoundClip(int clip);
