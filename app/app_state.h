// The one process-wide record. Every subsystem reads and writes it; there are
// no other long-lived objects.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "app/settings_block.h"

struct IBaseFilter;
struct TunerControl;

// Message dialog kinds (AppState.messageKind) and its button ids
constexpr uint32_t MESSAGE_ABOUT = 0;
constexpr uint32_t MESSAGE_ALREADY_EXISTS = 2;
constexpr uint32_t MESSAGE_ADDED = 3;
constexpr uint32_t MESSAGE_DRIVER_MISSING = 4;
constexpr uint32_t MESSAGE_CONFIRM_DELETE = 100;
constexpr uint32_t MESSAGE_USER_GUIDE = 101;
constexpr int ID_OK = 113;
constexpr int ID_CANCEL = 114;

// What the application lends the tuner and the transponder lists, filled once
// at start-up: they tell the user things and find their files through these,
// and never call up into app/ itself.
struct AppCalls {
    void (*showStatusMessage)(int message);       // ShowStatusMessage
    INT_PTR (*showMessageDialog)(uint32_t kind);  // ShowMessageDialog: ID_OK or ID_CANCEL
    int (*setProgramFolder)();                    // SetProgramFolderAsWorkingDirectory
};

constexpr int LANGUAGE_COUNT = 9;
constexpr int DIGIT_COUNT = 10;
constexpr int BIRD_COUNT = 4;

struct AppStateRecord {
    // Process and main window
    HINSTANCE instance;
    HWND mainWindow;
    HDC windowDc;  // the window's own DC (CS_OWNDC)
    int screenWidth, screenHeight;

    // Drawing resources
    uint8_t* skinPixels;  // 768 x 512 x 32 bpp, top-down
    struct {
        BITMAPINFOHEADER bmiHeader;
        RGBQUAD bmiColors[1];
    } skinBitmapInfo;
    HDC memoryDc;
    HBITMAP memoryBitmap;
    HFONT textFont, bigFont, savedFont;
    HPEN redPen, darkPen, greyPen, graphPen;
    HBRUSH panelBrush, blackBrush;

    // Window shape and button hit regions
    HRGN windowRegion;
    HRGN closeButtonRegion, minimizeButtonRegion, startButtonRegion, transponderEditRegion, languageButtonRegion,
        soundButtonRegion, helpButtonRegion, aboutButtonRegion, sortButtonRegion, reservedButtonRegionA,
        reservedButtonRegionB, mobileButtonRegion, satCalcButtonRegion;

    // Child controls
    HWND diseqcCombo, satelliteCombo, transponderCombo;
    RECT hintRect, meterLevelRect, meterSnrRect;

    // Pointer state of the main window
    int mouseX, mouseY;
    uint8_t hotClose, hotMinimize, hotAbout, hotHelp, hotStart, hotSound, hotLanguage, hotSort, hotAdd, hotRemove,
        hotSatCalc, hotMobile;
    uint8_t sortByName;

    uint32_t messageKind;
    SettingsBlock settings;
    AppCalls calls;

    // Run state shared with the worker threads. The poller is the only writer of
    // the measurements; each worker is the only writer of its alive flag.
    std::atomic<uint32_t> finderRunning;
    std::atomic<uint8_t> pollerAlive, soundThreadAlive, meterThreadAlive;
    std::atomic<uint32_t> signalPercent;
    std::atomic<uint8_t> lockSeen;
    std::atomic<float> signalToNoise;
    std::atomic<uint32_t> soundCounter;  // zeroed with the mode, under stateLock
    std::atomic<uint8_t> meterStale;     // a paint covered the meter: the next frame is drawn whole
    uint32_t spinnerPhase;
    int spinnerStartX, spinnerStartY, spinnerEndX, spinnerEndY;
    CRITICAL_SECTION stateLock;
    CRITICAL_SECTION windowDrawLock;

    // Tuner objects and the parsed transponder
    IBaseFilter* sourceFilter;
    TunerControl* tunerControl;
    uint32_t symbolRate;
    uint32_t polarization;

    // Sound clips: RIFF WAV images in the program's resources, never freed
    const void* voiceClip[LANGUAGE_COUNT][DIGIT_COUNT];
    const void* toneClip;
    const void* birdClip[BIRD_COUNT];
    const void* alarmClip;

    // Dialogs: one is open at a time, so they share the button and the surface
    HWND dialogButton, messageCancelButton;
    HDC dialogDc, dialogMemoryDc;
    HBITMAP dialogBitmap;
    // What of a dialog's face never changes, drawn once (the dish dialog's bevel)
    HDC dialogBackDc;
    HBITMAP dialogBackBitmap;

    // Dish alignment dialog and its results (degrees)
    HWND dishSatelliteCombo, latitudeDegreeCombo, latitudeMinuteCombo, longitudeDegreeCombo, longitudeMinuteCombo,
        dishWidthEdit, dishHeightEdit;
    uint8_t dishDialogReady;
    double latitude, azimuth, elevation, polarizationAngle, offsetAngle;

    // Signal log dialog
    HANDLE logFile;
    int16_t graphRowHeight, graphBarWidth, graphLeft;
    int32_t* graphSamples;  // 300 one-second slots
    uint32_t graphSampleIndex;

    // Server settings dialog
    HWND serverAdapterCombo, serverPortEdit, serverStartButton, serverModeCombo;
};

extern AppStateRecord AppState;

static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uint8_t>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
