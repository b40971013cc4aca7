#pragma once
// Handles the main window's messages for a while, as the message loop would.
void PumpMessages(int milliseconds);
