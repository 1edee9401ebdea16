#include "desktop_io.h"

#include <algorithm>
#include <cstdio>

std::string kwin::utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

std::string kwin::systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring words = n && text ? std::wstring(text, n) : L"";
    if (text) LocalFree(text);
    for (wchar_t& c : words)
        if (c == L'\r' || c == L'\n') c = L' ';
    while (!words.empty() && (words.back() == L' ' || words.back() == L'.')) words.pop_back();
    if (!words.empty()) return utf8(words);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return std::string("error ") + hex;
}

// `bytes` into a new temporary file in `folder`, flushed; its path, or empty with a reason.
std::wstring kwin::writeTemporary(const std::wstring& folder,
                                  const std::vector<std::uint8_t>& bytes, std::string* error) {
    wchar_t temp[MAX_PATH + 1] = {};
    if (!GetTempFileNameW(folder.c_str(), L"kes", 0, temp)) {
        *error =
            "cannot write in " + kwin::utf8(folder) + ": " + kwin::systemMessage(GetLastError());
        return {};
    }
    HANDLE file =
        CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
        if (!ok) code = GetLastError();
        done += written;
    }
    if (ok && !FlushFileBuffers(file)) {
        ok = false;
        code = GetLastError();
    }
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && ok) {
        ok = false;
        code = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp);
        *error = "cannot write " + kwin::utf8(temp) + ": " + kwin::systemMessage(code);
        return {};
    }
    return temp;
}
