// The system message table: the standard English texts of the common COM and Win32
// codes, as FormatMessage hands them out (ending in CR LF). Only English is present.
#include <cstring>
#include <string_view>

#include "winbase.h"

namespace {

struct Message {
    DWORD code;
    const char* text;
};

constexpr Message kWin32[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command."},
    {ERROR_OUTOFMEMORY, "Not enough storage is available to complete this operation."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists."},
    {ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist."},
};

constexpr Message kCom[] = {
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004004, "Operation aborted"},
    {0x80004005, "Unspecified error"},
    {0x8000FFFF, "Catastrophic failure"},
    {0x8000000A, "The data necessary to complete this operation is not yet available."},
    {0x80010106, "Cannot change thread mode after it is set."},
    {0x80010108, "The object invoked has disconnected from its clients."},
    {0x8001010E, "The application called an interface that was marshalled for a different thread."},
    {0x80020003, "Member not found."},
    {0x80020004, "Parameter not found."},
    {0x80020005, "Type mismatch."},
    {0x80020006, "Unknown name."},
    {0x80020008, "Bad variable type."},
    {0x80020009, "Exception occurred."},
    {0x8002000A, "Out of present range."},
    {0x8002000B, "Invalid index."},
    {0x8002000D, "Memory is locked."},
    {0x8002000E, "Invalid number of parameters."},
    {0x80020012, "Division by zero."},
    {0x80040001, "Invalid advise flags"},
    {0x80040003, "This implementation doesn't take advises"},
    {0x80040004, "There is no connection for this connection ID"},
    {0x80040064, "Invalid FORMATETC structure"},
    {0x80040068, "Invalid lindex"},
    {0x80040069, "Invalid tymed"},
    {0x8004006A, "Invalid clipboard format"},
    {0x8004006B, "Invalid aspect(s)"},
    {0x80040110, "Class does not support aggregation (or class object is remote)"},
    {0x80040111, "ClassFactory cannot supply requested class"},
    {0x80040150, "Could not read key from registry"},
    {0x80040151, "Could not write key to registry"},
    {0x80040154, "Class not registered"},
    {0x80040155, "Interface not registered"},
    {0x800401F0, "CoInitialize has not been called."},
    {0x800401F3, "Invalid class string"},
    {0x80080005, "Server execution failed"},
};

const char* Lookup(DWORD code) {
    // HRESULTs of FACILITY_WIN32 carry the Win32 error in their low word.
    const bool win32 = (code & 0xFFFF0000u) == 0x80070000u;
    const DWORD plain = win32 ? (code & 0xFFFF) : code;
    if (win32 || plain < 0x10000)
        for (const auto& m : kWin32)
            if (m.code == plain) return m.text;
    for (const auto& m : kCom)
        if (m.code == code) return m.text;
    return nullptr;
}

bool IsEnglishRequest(DWORD language) {
    const DWORD lang = language & 0xFFFF;
    return lang == 0 || lang == LANG_USER_DEFAULT || lang == LANG_SYSTEM_DEFAULT ||
           PRIMARYLANGID(lang) == LANG_ENGLISH;
}

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, void*) {
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) ||
        !lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = Lookup(dwMessageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (!IsEnglishRequest(dwLanguageId)) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const std::string_view body(text);
    const std::size_t length = body.size() + 2;
    if (length + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, body.data(), body.size());
    std::memcpy(lpBuffer + body.size(), "\r\n", 3);
    return static_cast<DWORD>(length);
}
