#pragma once
// The card driver's tuner-control interface, as it sits on the B2C2 MPEG-2
// Source Filter. Written out as an explicit vtable so that the program and the
// simulated card see exactly the same slots, whatever the compiler does with
// C++ classes. Slots the program does not use are kept as placeholders: their
// position is what matters.
#include <windows.h>
#include <unknwn.h>
#include <cstddef>
#include <cstdint>

// The card driver's source filter.
inline constexpr GUID CLSID_B2C2SourceFilter = {
    0xE82536A0, 0x94DA, 0x11D2, {0xA4, 0x63, 0x00, 0xA0, 0xC9, 0x5D, 0x30, 0x8D}};

// The tuner-control interface on that filter.
inline constexpr GUID IID_TunerControl = {0xCD900832, 0x50DF, 0x4F8F, {0x88, 0x2D, 0x1C, 0x35, 0x8F, 0x90, 0xB3, 0xF2}};

struct TunerControl;

// Every call returns a 32-bit HRESULT, negative for failure; numbers are 32-bit.
struct TunerControlVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(TunerControl* self, REFIID iid, void** object);  // 0
    ULONG(STDMETHODCALLTYPE* AddRef)(TunerControl* self);                                       // 1
    ULONG(STDMETHODCALLTYPE* Release)(TunerControl* self);                                      // 2
    void* unused3;
    HRESULT(STDMETHODCALLTYPE* SetSymbolRate)(TunerControl* self, uint32_t kiloSymbols);     // 4
    HRESULT(STDMETHODCALLTYPE* SetLnbFrequency)(TunerControl* self, uint32_t mhz);           // 5
    HRESULT(STDMETHODCALLTYPE* SetDeviceMode)(TunerControl* self, uint32_t mode);            // 6
    HRESULT(STDMETHODCALLTYPE* SetPolarization)(TunerControl* self, uint32_t polarization);  // 7
    HRESULT(STDMETHODCALLTYPE* SetLnbTone)(TunerControl* self, uint32_t toneOn);             // 8
    HRESULT(STDMETHODCALLTYPE* SetDiseqc)(TunerControl* self, uint32_t diseqc);              // 9
    void* unused10;
    HRESULT(STDMETHODCALLTYPE* Initialize)(TunerControl* self);    // 11
    HRESULT(STDMETHODCALLTYPE* CheckLock)(TunerControl* self);     // 12
    HRESULT(STDMETHODCALLTYPE* UpdateStatus)(TunerControl* self);  // 13
    void* unused14;
    void* unused15;
    void* unused16;
    void* unused17;
    void* unused18;
    void* unused19;
    HRESULT(STDMETHODCALLTYPE* GetSignalToNoise)(TunerControl* self, float* snr);  // 20
    void* unused21;
    void* unused22;
    void* unused23;
    void* unused24;
    void* unused25;
    void* unused26;
    HRESULT(STDMETHODCALLTYPE* SetFrequency)(TunerControl* self, uint32_t kiloHertz);  // 27
    void* unused28;
    void* unused29;
    void* unused30;
    void* unused31;
    void* unused32;
    void* unused33;
    void* unused34;
    void* unused35;
    HRESULT(STDMETHODCALLTYPE* GetSignalPercent)(TunerControl* self, unsigned* percent);  // 36
};

struct TunerControl {
    const TunerControlVtbl* lpVtbl;
};

constexpr int TUNER_CONTROL_SLOTS = 37;

// The slots are the driver's binary contract: pin every one the program uses.
#define TUNER_SLOT(name, slot) \
    static_assert(offsetof(TunerControlVtbl, name) == (slot) * sizeof(void*), #name " is not slot " #slot)
TUNER_SLOT(QueryInterface, 0);
TUNER_SLOT(AddRef, 1);
TUNER_SLOT(Release, 2);
TUNER_SLOT(SetSymbolRate, 4);
TUNER_SLOT(SetLnbFrequency, 5);
TUNER_SLOT(SetDeviceMode, 6);
TUNER_SLOT(SetPolarization, 7);
TUNER_SLOT(SetLnbTone, 8);
TUNER_SLOT(SetDiseqc, 9);
TUNER_SLOT(Initialize, 11);
TUNER_SLOT(CheckLock, 12);
TUNER_SLOT(UpdateStatus, 13);
TUNER_SLOT(GetSignalToNoise, 20);
TUNER_SLOT(SetFrequency, 27);
TUNER_SLOT(GetSignalPercent, 36);
#undef TUNER_SLOT
static_assert(sizeof(TunerControlVtbl) == TUNER_CONTROL_SLOTS * sizeof(void*), "the vtable has 37 slots");
