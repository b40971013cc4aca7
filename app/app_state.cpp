#include "app/app_state.h"

// Zero-initialised at process start, before any window exists.
AppStateRecord AppState;
