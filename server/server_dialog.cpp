// The server settings dialog under the main window: a network adapter, a
// port and a mode. The server is not part of this program, so its status
// always reads "Off" and "Start / Stop" only says so.
#include "app/app.h"
#include "server/server.h"
#include "tuner/transponder_text.h"
#include <winsock2.h>

constexpr int DIALOG_TOP_OFFSET = 345;
constexpr int DIALOG_WIDTH = 512, DIALOG_HEIGHT = 165;
constexpr int CORNER = 15;
constexpr int ID_ADAPTER_LIST = 128, ID_PORT_FIELD = 129, ID_START_STOP = 130, ID_MODE_LIST = 131;
constexpr int ID_CLOSE = 113;
constexpr int MAX_ADAPTERS = 10;
// One adapter record as the 32-bit system writes it (its lease times are 64-bit);
// the 32-bit headers here count 640, and the 64-bit system's record is larger.
constexpr ULONG ADAPTER_RECORD_SIZE = 648;
constexpr DWORD LOCALHOST_ADDRESS = 0x0100007F;  // 127.0.0.1 in network byte order
constexpr DWORD NOT_STARTED_MS = 2000;
constexpr COLORREF LABEL_COLOUR = RGB(85, 85, 85);
constexpr COLORREF STATUS_COLOUR = RGB(110, 110, 110);
constexpr COLORREF MESSAGE_COLOUR = RGB(255, 0, 0);
static const char* const MODES[] = {"wap", "http", "wap+http"};

static const struct {
    int x, y;
    const char* text;
} LABELS[] = {{180, 12, "SERVER SETTINGS"},
              {30, 40, "Select network adapter:"},
              {30, 105, "Port (0-65535) :"},
              {265, 40, "Server status:"},
              {405, 40, "Mode:"}};
static const RECT SUNKEN_FRAMES[] = {{156, 104, 230, 126}, {265, 60, 375, 85}, {20, 33, 487, 140}};
static const RECT MESSAGE_BOX = {30, 50, 490, 110};

static HWND CreateControl(HWND dialog, const char* windowClass, const char* text, DWORD style, int id, int x, int y,
                          int w, int h) {
    return CreateWindowExA(0, windowClass, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, w, h, dialog,
                           (HMENU)(INT_PTR)id, AppState.instance, nullptr);
}

static void AddAdapter(HWND combo, const char* name, DWORD address) {
    LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)name);
    if (index >= 0) SendMessageA(combo, CB_SETITEMDATA, index, address);
}

void FillAdapterList(HWND combo, DWORD queryResult, const IP_ADAPTER_INFO* first) {
    AddAdapter(combo, "localhost", LOCALHOST_ADDRESS);
    if (queryResult != NO_ERROR) return;
    int count = 0;
    for (const IP_ADAPTER_INFO* a = first; a && count < MAX_ADAPTERS; a = a->Next, ++count)
        AddAdapter(combo, a->Description, inet_addr(a->IpAddressList.IpAddress.String));
}

void ListNetworkAdapters() {
    // One record's room first; a machine with more adapters names the size it needs.
    ULONG size = ADAPTER_RECORD_SIZE;
    HANDLE heap = GetProcessHeap();
    auto* adapters = (IP_ADAPTER_INFO*)HeapAlloc(heap, 0, size);
    DWORD result = adapters ? GetAdaptersInfo(adapters, &size) : ERROR_NOT_ENOUGH_MEMORY;
    if (result == ERROR_BUFFER_OVERFLOW) {
        HeapFree(heap, 0, adapters);
        adapters = (IP_ADAPTER_INFO*)HeapAlloc(heap, 0, size);
        result = adapters ? GetAdaptersInfo(adapters, &size) : ERROR_NOT_ENOUGH_MEMORY;
    }
    FillAdapterList(AppState.serverAdapterCombo, result, adapters);
    if (adapters) HeapFree(heap, 0, adapters);
}

static void OnServerDialogInit(HWND dialog) {
    RECT main;
    GetWindowRect(AppState.mainWindow, &main);
    MoveWindow(dialog, main.left, main.top + DIALOG_TOP_OFFSET, DIALOG_WIDTH, DIALOG_HEIGHT, FALSE);
    RECT client;
    GetClientRect(dialog, &client);
    SetWindowRgn(dialog, CreateRoundRectRgn(client.left, client.top, client.right, client.bottom, CORNER, CORNER),
                 TRUE);

    AppState.serverAdapterCombo =
        CreateControl(dialog, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL, ID_ADAPTER_LIST, 30, 60, 200, 100);
    AppState.serverPortEdit = CreateControl(dialog, "EDIT", "80", ES_NUMBER, ID_PORT_FIELD, 158, 106, 70, 18);
    AppState.serverStartButton =
        CreateControl(dialog, "BUTTON", "Start / Stop", BS_PUSHBUTTON, ID_START_STOP, 265, 104, 110, 22);
    AppState.serverModeCombo =
        CreateControl(dialog, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL, ID_MODE_LIST, 405, 60, 70, 100);
    AppState.dialogButton =
        CreateControl(dialog, "BUTTON", "x", BS_PUSHBUTTON, ID_CLOSE, client.right - 44, 14, 20, 18);
    for (HWND control : {AppState.serverAdapterCombo, AppState.serverPortEdit, AppState.serverModeCombo})
        SendMessageA(control, WM_SETFONT, (WPARAM)AppState.textFont, FALSE);

    ListNetworkAdapters();
    SendMessageA(AppState.serverAdapterCombo, CB_SETCURSEL, 0, 0);
    for (const char* mode : MODES) SendMessageA(AppState.serverModeCombo, CB_ADDSTRING, 0, (LPARAM)mode);
    SendMessageA(AppState.serverModeCombo, CB_SETCURSEL, 0, 0);
}

static void OnServerDialogPaint(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    HGDIOBJ previousFont = SelectObject(dc, AppState.textFont);
    DrawBevelBox(dc, client.left, client.top, client.right, client.bottom, 1, 0, AppState.panelBrush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, LABEL_COLOUR);
    for (const auto& label : LABELS) TextAt(dc, label.x, label.y, label.text);
    SetTextColor(dc, STATUS_COLOUR);
    TextAt(dc, 305, 63, "Off");
    for (RECT frame : SUNKEN_FRAMES) DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT);
    SelectObject(dc, previousFont);
    EndPaint(dialog, &paint);
}

// The server cannot run in this version: say so over the dialog for two
// seconds, taking no input meanwhile, and close.
static void OnStartStop(HWND dialog) {
    HDC dc = GetDC(dialog);
    SetBkMode(dc, TRANSPARENT);
    RECT box = MESSAGE_BOX;
    DrawBevelBox(dc, box.left, box.top, box.right, box.bottom, 1, 48, AppState.panelBrush);
    HGDIOBJ previousFont = SelectObject(dc, AppState.textFont);
    SetTextColor(dc, MESSAGE_COLOUR);
    DrawTextA(dc, StatusMessageText(STATUS_CANNOT_START), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(dc, TEXT_COLOUR);
    SelectObject(dc, previousFont);
    HoldOnScreen(NOT_STARTED_MS);
    ReleaseDC(dialog, dc);
    EndDialog(dialog, ID_START_STOP);
}

static BOOL OnServerDialogCommand(HWND dialog, int id) {
    if (id == ID_CLOSE) {
        EndDialog(dialog, ID_CLOSE);
        return TRUE;
    }
    if (id == ID_START_STOP) {
        OnStartStop(dialog);
        return TRUE;
    }
    return FALSE;  // Enter and Escape (1 and 2) leave the dialog open
}

INT_PTR CALLBACK ServerSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnServerDialogInit(dialog);
            return TRUE;
        case WM_PAINT:
            OnServerDialogPaint(dialog);
            return TRUE;
        case WM_LBUTTONDOWN:
            // Dragging the body moves the dialog, as a caption would.
            SendMessageA(dialog, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return TRUE;
        case WM_COMMAND:
            return OnServerDialogCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}
