#pragma once
// The satellite the user chose in the program: the driver runs inside the
// program's process, and the program's satellite list is a drop-down list
// of its main window whose text names the position (" 19.2e - Astra 1KR ").
// Read only, and never waiting on the program: the text is asked with
// SendMessageTimeout (SMTO_ABORTIFHUNG, 100 ms), which on the thread that
// owns the list, the one that makes the tuning calls, is a plain call.
#include <cstdint>

// The chosen position's key, or NOT_CHOSEN (satellite_verdict.h) where no
// such list is found or it shows no position (another host program, an
// empty list): the log then says once that every list is judged against.
int32_t ReadChosenSatellite();
