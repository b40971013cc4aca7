// The Win32 edge of the look angles: the dialog's controls in, AppState and
// the settings out. The arithmetic is in look_angles.cpp.
#include "app/app.h"
#include "calculator/calculator.h"
#include "calculator/look_angles.h"

double ElevationAngle(double userLongitude, double satelliteLongitude) {
    return ElevationAt(AppState.latitude, userLongitude, satelliteLongitude);
}

double AzimuthAngle(double userLongitude, double satelliteLongitude) {
    return AzimuthAt(AppState.latitude, userLongitude, satelliteLongitude);
}

static LRESULT SelectedIndex(HWND combo) { return SendMessageA(combo, CB_GETCURSEL, 0, 0); }

// The value attached to an entry; a list without that entry gives -1 (CB_ERR).
static int32_t AttachedValue(HWND combo, LRESULT index) {
    return (int32_t)SendMessageA(combo, CB_GETITEMDATA, (WPARAM)index, 0);
}

void ComputeLookAngles() {
    LRESULT latitudeDegrees = SelectedIndex(AppState.latitudeDegreeCombo);
    LRESULT longitudeDegrees = SelectedIndex(AppState.longitudeDegreeCombo);
    LRESULT latitudeMinutes = SelectedIndex(AppState.latitudeMinuteCombo);
    LRESULT longitudeMinutes = SelectedIndex(AppState.longitudeMinuteCombo);
    // No selection is stored as it comes: 0xFFFFFFFF.
    AppState.settings.latitudeDegreeIndex = (uint32_t)latitudeDegrees;
    AppState.settings.longitudeDegreeIndex = (uint32_t)longitudeDegrees;
    AppState.settings.latitudeMinuteIndex = (uint32_t)latitudeMinutes;
    AppState.settings.longitudeMinuteIndex = (uint32_t)longitudeMinutes;

    LookEntries entries;
    entries.latitudeDegrees = AttachedValue(AppState.latitudeDegreeCombo, latitudeDegrees);
    entries.longitudeDegrees = AttachedValue(AppState.longitudeDegreeCombo, longitudeDegrees);
    entries.latitudeMinutes = AttachedValue(AppState.latitudeMinuteCombo, latitudeMinutes);
    entries.longitudeMinutes = AttachedValue(AppState.longitudeMinuteCombo, longitudeMinutes);
    // The dialog's copy of the satellite list has no values: the same index
    // in the main window's list has the position key.
    entries.satelliteValue = AttachedValue(AppState.satelliteCombo, SelectedIndex(AppState.dishSatelliteCombo));

    LookResults results = {};
    results.offsetAngle = AppState.offsetAngle;
    bool belowSatellite = AimAtSatellite(entries, &results);
    AppState.latitude = results.latitude;
    AppState.azimuth = results.azimuth;
    AppState.elevation = results.elevation;
    AppState.polarizationAngle = results.polarizationAngle;
    if (belowSatellite) return;

    char width[LOOK_TEXT_SIZE] = "", height[LOOK_TEXT_SIZE] = "";
    GetWindowTextA(AppState.dishWidthEdit, width, sizeof width);
    GetWindowTextA(AppState.dishHeightEdit, height, sizeof height);
    TakeDishSize(width, height, &results);
    AppState.settings.dishWidth = results.dishWidth;
    AppState.settings.dishHeight = results.dishHeight;
    AppState.offsetAngle = results.offsetAngle;
    int show = results.boxesVisible ? SW_SHOW : SW_HIDE;
    ShowWindow(AppState.dishWidthEdit, show);
    ShowWindow(AppState.dishHeightEdit, show);
}
