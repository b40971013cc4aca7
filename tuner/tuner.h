#pragma once
// What the tuner subsystem offers: the card link, the transponder text and
// tuning, the status box, and the signal poller.
#include "tuner/transponder_text.h"
#include <windows.h>

constexpr uint32_t DEVICE_MODE = 6;

int OpenTuner();
void ReleaseTuner();
int ReadTransponderParameters(uint16_t showErrors);
int TuneTransponder();
void DrawStatusText(int message, int left, int top, int width);
// A message in the status box for two seconds, the window taking no input
// meanwhile, then a repaint that takes it away.
void ShowStatusMessage(int message);
DWORD WINAPI SignalPollerThread(LPVOID);
