// Reading the program's satellite list. See satellite_choice.h.
#include "driver/satellite_choice.h"
#include <atomic>
#include "driver/driver_server.h"
#include "driver/satellite_verdict.h"

constexpr UINT TEXT_WAIT_MS = 100;
constexpr int LABEL_MAX = 160;  // the program's labels are 127 characters at most

// The position a drop-down list's text names: the DiSEqC list and the
// transponder box name none.
static int32_t ListPosition(HWND child) {
    char name[16];
    if (!GetClassNameA(child, name, sizeof name) || lstrcmpiA(name, "ComboBox") != 0) return NOT_CHOSEN;
    if ((GetWindowLongA(child, GWL_STYLE) & 3) != CBS_DROPDOWNLIST) return NOT_CHOSEN;
    char label[LABEL_MAX] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(child, WM_GETTEXT, sizeof label, reinterpret_cast<LPARAM>(label),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, TEXT_WAIT_MS, &copied))
        return NOT_CHOSEN;
    label[sizeof label - 1] = 0;
    return LabelPosition(label);
}

struct ChoiceSearch {
    DWORD process;
    HWND list;
    int32_t key;
};

// The program's own top-level windows without an owner: its main window,
// not the dialogs it opens over it (the calculator copies the list).
static BOOL CALLBACK LookAtWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ChoiceSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || GetWindow(window, GW_OWNER)) return TRUE;
    for (HWND child = GetWindow(window, GW_CHILD); child && search->key == NOT_CHOSEN;
         child = GetWindow(child, GW_HWNDNEXT))
        search->key = ListPosition(search->list = child);
    return search->key == NOT_CHOSEN;
}

int32_t ReadChosenSatellite() {
    static std::atomic<HWND> found;  // the list, once found: the windows are walked only to find it
    static std::atomic<bool> said;
    HWND list = found.load();
    DWORD process = 0;
    if (list) GetWindowThreadProcessId(list, &process);  // 0 once the window is gone
    ChoiceSearch search = {GetCurrentProcessId(), list, NOT_CHOSEN};
    if (process == search.process) search.key = ListPosition(list);
    if (search.key == NOT_CHOSEN) EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&search));
    if (search.key != NOT_CHOSEN) found.store(search.list);
    if (search.key == NOT_CHOSEN && !said.exchange(true))
        DriverLog(DriverNow(), "the satellite chosen in the program cannot be read: judged against every list");
    return search.key;
}
