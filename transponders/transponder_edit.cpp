// Adding the typed transponder to the chosen satellite's file and removing the
// shown one. Every change rewrites the whole file from the transponder list;
// the new text goes to a temporary file that replaces the old one in one step,
// so the file on disk is always either the old one or the new one in full.
#include "app/app_state.h"
#include "transponders/transponder_files.h"
#include "transponders/transponders.h"
#include "tuner/tuner.h"
#include <cstdio>
#include <cstring>

constexpr size_t TYPED_TEXT_SIZE = 64;  // longer texts match no entry

// The edit field's text; false when it is too long to be any entry.
static bool ReadTypedText(char* text, size_t size) {
    if (GetWindowTextLengthA(AppState.transponderCombo) >= (int)size) return false;
    GetWindowTextA(AppState.transponderCombo, text, (int)size);
    return true;
}

static LRESULT FindEntry(const char* text) {
    // From the start, whole text, letters in any case.
    return SendMessageA(AppState.transponderCombo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text);
}

int AddTransponder() {
    if (ReadTransponderParameters(1)) return 1;
    char text[TYPED_TEXT_SIZE];
    if (!ReadTypedText(text, sizeof text)) return 1;
    // A '=' would split the entry when the file is read back.
    if (strchr(text, '=')) {
        AppState.calls.showStatusMessage(STATUS_BAD_LENGTH);
        return 1;
    }
    uint32_t kind = MESSAGE_ALREADY_EXISTS;
    if (FindEntry(text) == CB_ERR) {
        if (SendMessageA(AppState.transponderCombo, CB_GETCOUNT, 0, 0) >= (LRESULT)TRANSPONDER_ENTRIES_MAX) {
            AppState.calls.showStatusMessage(STATUS_LIST_FULL);
            return 1;
        }
        if (SendMessageA(AppState.transponderCombo, CB_ADDSTRING, 0, (LPARAM)text) < 0) return 1;
        SaveTransponderList();  // on failure the reload shows what the file holds
        kind = MESSAGE_ADDED;
    }
    AppState.calls.showMessageDialog(kind);
    return 0;
}

int RemoveTransponder() {
    char text[TYPED_TEXT_SIZE];
    if (!ReadTypedText(text, sizeof text)) return 1;
    LRESULT found = FindEntry(text);
    if (found == CB_ERR) return 1;
    if (AppState.calls.showMessageDialog(MESSAGE_CONFIRM_DELETE) == ID_CANCEL) return 1;
    if (SendMessageA(AppState.transponderCombo, CB_DELETESTRING, found, 0) == CB_ERR) return 1;
    SaveTransponderList();
    return 0;
}

// The list's texts in one heap block: count pointers, then the texts.
static char** CopyListEntries(size_t count) {
    size_t bytes = count * (sizeof(char*) + TRANSPONDER_ENTRY_SIZE);
    char** entries = (char**)HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
    if (!entries) return nullptr;
    char* text = (char*)(entries + count);
    for (size_t i = 0; i < count; ++i, text += TRANSPONDER_ENTRY_SIZE) {
        LRESULT length = SendMessageA(AppState.transponderCombo, CB_GETLBTEXTLEN, i, 0);
        if (length < 0 || length >= (LRESULT)TRANSPONDER_ENTRY_SIZE ||
            SendMessageA(AppState.transponderCombo, CB_GETLBTEXT, i, (LPARAM)text) < 0) {
            HeapFree(GetProcessHeap(), 0, entries);
            return nullptr;
        }
        entries[i] = text;
    }
    return entries;
}

// Writes the text to a temporary file beside the target, flushes it, and only
// then puts it in the target's place. On any failure the target is untouched
// and the temporary file is gone.
static int ReplaceFileContents(const char* path, const char* temporary, const char* text, DWORD size) {
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    bool whole = WriteFile(file, text, size, &written, nullptr) && written == size && FlushFileBuffers(file);
    CloseHandle(file);
    if (whole && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    DeleteFileA(temporary);
    return 1;
}

int SaveTransponderList() {
    LRESULT listed = SendMessageA(AppState.transponderCombo, CB_GETCOUNT, 0, 0);
    if (listed < 0) return 1;
    size_t count = (size_t)listed;
    if (count > TRANSPONDER_ENTRIES_MAX) {
        AppState.calls.showStatusMessage(STATUS_LIST_FULL);
        return 1;
    }
    uint32_t key = AppState.settings.satellitePosition;
    char path[LOAD_PATH_SIZE];
    if (!FormatTransponderFilePath(key, path, sizeof path)) return 1;
    char temporary[LOAD_PATH_SIZE];
    snprintf(temporary, sizeof temporary, "%s~%04u.tmp", TRANSPONDER_FOLDER, (unsigned)key);

    // Opened for writing as well: a file that is read-only, or held by another
    // program, is not rewritten. The attribute is asked for too: an
    // administrator (or root under Wine) could otherwise write it all the same.
    AppState.calls.setProgramFolder();
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return 1;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD oldSize = 0;
    char* old = ReadWholeFile(file, &oldSize);
    CloseHandle(file);
    if (!old) return 1;

    int failed = 1;
    char** entries = CopyListEntries(count);
    size_t bound = TransponderFileBound(oldSize, count);
    char* text = entries ? (char*)HeapAlloc(GetProcessHeap(), 0, bound) : nullptr;
    if (text) {
        size_t length = BuildTransponderFile(old, oldSize, key, entries, count, text, bound);
        if (length) failed = ReplaceFileContents(path, temporary, text, (DWORD)length);
        HeapFree(GetProcessHeap(), 0, text);
    }
    if (entries) HeapFree(GetProcessHeap(), 0, entries);
    HeapFree(GetProcessHeap(), 0, old);
    return failed;
}
