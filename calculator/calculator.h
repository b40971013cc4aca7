// What the dish alignment calculator offers: the dialog the ZivUrav. button
// opens, and the look-angle routines behind it.
#pragma once
#include <windows.h>

INT_PTR CALLBACK DishDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void DrawDishDialog(HWND dialog);

// Reads the dialog's lists and boxes, stores the choices in the settings and
// the results in AppState, and shows the dish boxes only while the satellite
// is visible. Only while the dialog's controls exist.
void ComputeLookAngles();
// Both read the latitude from AppState.latitude.
double ElevationAngle(double userLongitude, double satelliteLongitude);
double AzimuthAngle(double userLongitude, double satelliteLongitude);
