// The sound thread: turns the level into sound for the person at the dish.
// The schedule itself lives in sound_schedule.cpp; this is its Win32 edge.
#include "app/app.h"
#include "feedback/feedback.h"
#include "feedback/sound_schedule.h"
#include <mmsystem.h>

const void** SoundClipSlot(int clip) {
    if (clip >= 0 && clip < TONE_CLIP) return &AppState.voiceClip[clip / 10][clip % 10];
    if (clip == TONE_CLIP) return &AppState.toneClip;
    if (clip >= FIRST_BIRD_CLIP && clip < ALARM_CLIP) return &AppState.birdClip[clip - FIRST_BIRD_CLIP];
    if (clip == ALARM_CLIP) return &AppState.alarmClip;
    return nullptr;
}

void PlaySoundClip(int clip) {
    const void** slot = SoundClipSlot(clip);
    if (slot && *slot) sndPlaySoundA((const char*)*slot, SND_ASYNC | SND_MEMORY | SND_NODEFAULT);
}

static void PlayFromMemory(void*, int clip) { PlaySoundClip(clip); }

static void PauseFor(void*, uint32_t milliseconds) { Sleep(milliseconds); }

// The values one pass works from belong together: copied under the lock the
// main window holds while it changes the mode and zeroes the counter.
static void CopyInputs(void*, SoundInputs* inputs) {
    EnterCriticalSection(&AppState.stateLock);
    inputs->finderRunning = AppState.finderRunning.load();
    inputs->level = (int32_t)AppState.signalPercent.load();
    inputs->language = AppState.settings.voiceLanguage;
    inputs->mode = AppState.settings.soundMode;
    LeaveCriticalSection(&AppState.stateLock);
}

DWORD WINAPI SoundFeedbackThread(LPVOID) {
    AppState.soundThreadAlive.store(1);
    SoundSink sink = {PlayFromMemory, PauseFor, nullptr, nullptr};
    RunSoundLoop(CopyInputs, &AppState.soundCounter, sink);
    AppState.soundThreadAlive.store(0, std::memory_order_release);
    return 0;
}
