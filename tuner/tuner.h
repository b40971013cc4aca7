#pragma once
// What the tuner subsystem offers: the card link, the transponder text and
// tuning, and the signal poller.
#include "tuner/transponder_text.h"
#include <windows.h>

constexpr uint32_t DEVICE_MODE = 6;

int OpenTuner();
void ReleaseTuner();
int ReadTransponderParameters(uint16_t showErrors);
int TuneTransponder();
DWORD WINAPI SignalPollerThread(LPVOID);
