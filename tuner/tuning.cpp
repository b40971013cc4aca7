// Reading the transponder box and tuning the card with it.
#include "app/app_state.h"
#include "tuner/tuner.h"
#include "tuner/tuner_control.h"

int ReadTransponderParameters(uint16_t showErrors) {
    int status = STATUS_BAD_LENGTH;
    int length = GetWindowTextLengthA(AppState.transponderCombo);
    if (length >= (int)TRANSPONDER_TEXT_MIN && length <= (int)TRANSPONDER_TEXT_MAX) {
        char text[TRANSPONDER_TEXT_MAX + 1];
        GetWindowTextA(AppState.transponderCombo, text, sizeof text);
        TransponderValues values = {AppState.settings.transponderFrequency, AppState.polarization, AppState.symbolRate};
        status = ParseTransponderText(text, &values);
        AppState.settings.transponderFrequency = values.frequency;
        AppState.polarization = values.polarization;
        AppState.symbolRate = values.symbolRate;
    }
    if (status == 0) return 0;
    // The message must be read: the window waits.
    if (showErrors) AppState.calls.showStatusMessage(status);
    return 1;
}

// A failed tune ends the program: the box is acknowledged, then the window
// closes and the clean-up saves the settings.
static int FailTuning(const char* text) {
    MessageBoxA(AppState.mainWindow, text, "Error", MB_OK);
    DestroyWindow(AppState.mainWindow);
    return 1;
}

int TuneTransponder() {
    TunerControl* tuner = AppState.tunerControl;
    if (!tuner) return 1;
    uint32_t frequency = AppState.settings.transponderFrequency;
    LnbChoice lnb = ChooseLnb(frequency);
    tuner->lpVtbl->SetLnbTone(tuner, lnb.tone);
    tuner->lpVtbl->SetLnbFrequency(tuner, lnb.oscillator);
    if (lnb.secondOscillator) tuner->lpVtbl->SetLnbFrequency(tuner, lnb.secondOscillator);
    tuner->lpVtbl->SetPolarization(tuner, AppState.polarization);
    tuner->lpVtbl->SetSymbolRate(tuner, AppState.symbolRate);
    if (FAILED(tuner->lpVtbl->SetFrequency(tuner, frequency))) return FailTuning("Set transponder frequency failed");
    if (FAILED(tuner->lpVtbl->SetDiseqc(tuner, AppState.settings.diseqc))) return FailTuning("Set DiSEqC failed");
    return 0;
}
