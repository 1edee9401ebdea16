#include "window_place.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <charconv>

#include "desktop_io.h"

namespace kwin {

namespace {

constexpr wchar_t kFileName[] = L"\\window.conf";
constexpr DWORD kMaxFileBytes = 64 * 1024;
constexpr std::size_t kMaxEntries = 64;
constexpr int kMaxCoordinate = 1000000;
constexpr int kMaxSize = 100000;
constexpr int kMaxZoom = 8;

bool parseInt(std::string_view text, int low, int high, int* out) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
    *out = v;
    return true;
}

// "240x320", both at least 1.
bool parseSize(std::string_view text, int* width, int* height) {
    const std::size_t x = text.find('x');
    return x != std::string_view::npos && parseInt(text.substr(0, x), 1, kMaxSize, width) &&
           parseInt(text.substr(x + 1), 1, kMaxSize, height);
}

std::optional<PlaceEntry> parseLine(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
        fields.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    PlaceEntry e;
    if (fields.size() != 5 || !parseSize(fields[0], &e.desktopWidth, &e.desktopHeight) ||
        !parseSize(fields[1], &e.width, &e.height) ||
        !parseInt(fields[2], 1, kMaxZoom, &e.place.zoom) ||
        !parseInt(fields[3], -kMaxCoordinate, kMaxCoordinate, &e.place.x) ||
        !parseInt(fields[4], -kMaxCoordinate, kMaxCoordinate, &e.place.y))
        return std::nullopt;
    return e;
}

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
    *damagedLine = 0;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        if (std::optional<PlaceEntry> e = parseLine(line)) {
            std::erase_if(entries, [&](const PlaceEntry& o) { return sameSizes(o, *e); });
            entries.push_back(*e);
        } else if (*damagedLine == 0) {
            *damagedLine = lineNumber;
        }
    }
    return entries;
}

std::string formatPlaces(const std::vector<PlaceEntry>& entries) {
    std::string text =
        "# Kestrova's window: desktop size, display size, zoom, client area's x and y\r\n";
    for (const PlaceEntry& e : entries)
        text += std::to_string(e.desktopWidth) + "x" + std::to_string(e.desktopHeight) + " " +
                std::to_string(e.width) + "x" + std::to_string(e.height) + " " +
                std::to_string(e.place.zoom) + " " + std::to_string(e.place.x) + " " +
                std::to_string(e.place.y) + "\r\n";
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
