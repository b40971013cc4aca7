// What the server subsystem offers: the server settings dialog. There is no
// server behind it; the choices are shown and not kept.
#pragma once
#include <windows.h>
#include <iphlpapi.h>

INT_PTR CALLBACK ServerSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills AppState.serverAdapterCombo: "localhost", then the system's adapters.
void ListNetworkAdapters();

// "localhost" into the list, then, when the adapter query succeeded, the first
// ten adapters of the chain, each with its first IPv4 address as item data.
void FillAdapterList(HWND combo, DWORD queryResult, const IP_ADAPTER_INFO* first);
