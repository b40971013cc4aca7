// The card's source filter and its tuner interface, through COM, so the
// program runs unchanged on the real driver and on the simulated card.
#include "app/app_state.h"
#include "tuner/tuner.h"
#include "tuner/tuner_control.h"
#include <strmif.h>

int OpenTuner() {
    HRESULT result = CoCreateInstance(CLSID_B2C2SourceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      (void**)&AppState.sourceFilter);
    if (result != S_OK || !AppState.sourceFilter) {
        AppState.sourceFilter = nullptr;
        AppState.calls.showMessageDialog(MESSAGE_DRIVER_MISSING);
        return 1;
    }
    if (AppState.sourceFilter->QueryInterface(IID_TunerControl, (void**)&AppState.tunerControl) != S_OK) return 1;
    TunerControl* tuner = AppState.tunerControl;
    if (FAILED(tuner->lpVtbl->Initialize(tuner))) return 1;
    if (FAILED(tuner->lpVtbl->SetDeviceMode(tuner, DEVICE_MODE))) return 1;
    return 0;
}

// The tuner interface goes before the filter it was obtained from.
void ReleaseTuner() {
    if (AppState.tunerControl) {
        AppState.tunerControl->lpVtbl->Release(AppState.tunerControl);
        AppState.tunerControl = nullptr;
    }
    if (AppState.sourceFilter) {
        AppState.sourceFilter->Release();
        AppState.sourceFilter = nullptr;
    }
}
