#include "window_place.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "core/display_geometry.h"
#include "desktop_io.h"

namespace kwin {

namespace {

constexpr wchar_t kFileName[] = L"\\window.conf";
constexpr DWORD kMaxFileBytes = 64 * 1024;
constexpr std::size_t kMaxEntries = 64;

bool sameSizes(const PlaceEntry& a, const PlaceEntry& b) {
    return a.desktopWidth == b.desktopWidth && a.desktopHeight == b.desktopHeight &&
           a.width == b.width && a.height == b.height;
}

// The file's bytes; false, with a reason, when it is there but cannot be read or is too
// large to be ours. A missing file is empty.
bool readFileText(const std::wstring& path, std::string* text, std::string* problem) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        *problem = "cannot read " + utf8(path) + ": " + systemMessage(code);
        return false;
    }
    text->assign(kMaxFileBytes + 1, '\0');
    DWORD size = 0;
    bool ok = true;
    while (ok && size < text->size()) {
        DWORD n = 0;
        ok = ReadFile(file, text->data() + size, static_cast<DWORD>(text->size()) - size, &n,
                      nullptr);
        if (!ok) *problem = "cannot read " + utf8(path) + ": " + systemMessage(GetLastError());
        if (n == 0) break;
        size += n;
    }
    CloseHandle(file);
    if (ok && size > kMaxFileBytes) {
        *problem =
            utf8(path) + " is damaged (larger than " + std::to_string(kMaxFileBytes) + " bytes)";
        ok = false;
    }
    text->resize(ok ? size : 0);
    return ok;
}

std::vector<PlaceEntry> readEntries(const std::wstring& path, std::string* problem) {
    std::string text;
    if (!readFileText(path, &text, problem)) return {};
    int damaged = 0;
    std::vector<PlaceEntry> entries = parsePlaces(text, &damaged);
    if (damaged != 0) *problem = utf8(path) + " is damaged at line " + std::to_string(damaged);
    return entries;
}

}  // namespace

std::vector<PlaceEntry> parsePlaces(std::string_view text, int* damagedLine) {
    std::vector<PlaceEntry> entries;
    for (const kdev::PlaceLine& p : kdev::readPlaceLines(text, damagedLine))
        entries.push_back({p.width[0], p.height[0], p.width[1], p.height[1], {p.zoom, p.x, p.y}});
    return entries;
}

std::string formatPlaces(const std::vector<PlaceEntry>& entries) {
    std::string text =
        "# Kestrova's window: desktop size, display size, zoom, client area's x and y\r\n";
    for (const PlaceEntry& e : entries) {
        const kdev::PlaceLine line{{e.desktopWidth, e.width},
                                   {e.desktopHeight, e.height},
                                   e.place.zoom,
                                   e.place.x,
                                   e.place.y};
        text += kdev::placeLineText(line) + "\r\n";
    }
    return text;
}

std::wstring settingsFolder() {
    PWSTR known = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known);
    std::wstring folder = SUCCEEDED(hr) && known ? std::wstring(known) + L"\\Kestrova" : L"";
    CoTaskMemFree(known);
    return folder;
}

std::optional<WindowPlace> loadWindowPlace(const std::wstring& folder, int desktopWidth,
                                           int desktopHeight, int width, int height,
                                           std::string* warning) {
    if (folder.empty()) return std::nullopt;
    std::string problem;
    const std::vector<PlaceEntry> entries = readEntries(folder + kFileName, &problem);
    if (!problem.empty() && warning) *warning = problem + "; the window opens at its default place";
    const PlaceEntry wanted{desktopWidth, desktopHeight, width, height, {}};
    for (const PlaceEntry& e : entries)
        if (sameSizes(e, wanted)) return e.place;
    return std::nullopt;
}

bool saveWindowPlace(const std::wstring& folder, int desktopWidth, int desktopHeight, int width,
                     int height, const WindowPlace& place, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = "cannot remember the window's place in " + utf8(folder) + ": " + why;
        return false;
    };
    if (folder.empty()) return fail("no folder for application data");
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return fail(systemMessage(GetLastError()));
    // Whatever cannot be read of the old file is dropped: the new one is whole again.
    std::string ignored;
    std::vector<PlaceEntry> entries = readEntries(folder + kFileName, &ignored);
    const PlaceEntry entry{desktopWidth, desktopHeight, width, height, place};
    std::erase_if(entries, [&](const PlaceEntry& o) { return sameSizes(o, entry); });
    entries.push_back(entry);
    if (entries.size() > kMaxEntries)
        entries.erase(entries.begin(),
                      entries.begin() + static_cast<std::ptrdiff_t>(entries.size() - kMaxEntries));
    const std::string text = formatPlaces(entries);
    std::string why;
    const std::wstring temp =
        writeTemporary(folder, std::vector<std::uint8_t>(text.begin(), text.end()), &why);
    if (temp.empty()) return fail(why);
    if (!MoveFileExW(temp.c_str(), (folder + kFileName).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileW(temp.c_str());
        return fail(systemMessage(code));
    }
    return true;
}

}  // namespace kwin
