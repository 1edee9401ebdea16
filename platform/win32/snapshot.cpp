#include "snapshot.h"

#include <objbase.h>
#include <shlobj.h>
#include <wincodec.h>

#include <cstdio>

#include "desktop_io.h"

namespace {

using kwin::systemMessage;
using kwin::utf8;
using kwin::writeTemporary;

// A COM interface pointer released at the end of its scope.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM on this thread for as long as the scope lasts, unless the program already has it.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // Usable: started here, or already started in any model.
    bool ok() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

// The picture as PNG bytes, through WIC's encoder into memory.
bool encodePng(const kwin::Picture& picture, std::vector<std::uint8_t>* png, std::string* error) {
    HRESULT hr = S_OK;
    auto failed = [&](const char* step) {
        if (FAILED(hr)) *error = std::string(step) + ": " + systemMessage(static_cast<DWORD>(hr));
        return FAILED(hr);
    };
    Com<IWICImagingFactory> factory;
    hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out()));
    if (failed("no image encoder (WIC)")) return false;
    Com<IStream> stream;
    hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.out());
    if (failed("no memory for the picture")) return false;
    Com<IWICBitmapEncoder> encoder;
    hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out());
    if (failed("no PNG encoder")) return false;
    hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (failed("PNG encoder")) return false;
    Com<IWICBitmapFrameEncode> frame;
    hr = encoder->CreateNewFrame(frame.out(), nullptr);
    if (failed("PNG encoder")) return false;
    hr = frame->Initialize(nullptr);
    if (failed("PNG encoder")) return false;
    hr = frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height));
    if (failed("PNG encoder")) return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    hr = frame->SetPixelFormat(&format);
    if (failed("PNG encoder")) return false;
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        *error = "the PNG encoder does not take 24-bit colour";
        return false;
    }
    const UINT stride = static_cast<UINT>(picture.width) * 3;
    hr = frame->WritePixels(static_cast<UINT>(picture.height), stride,
                            static_cast<UINT>(picture.bgr.size()),
                            const_cast<BYTE*>(picture.bgr.data()));
    if (failed("PNG encoder")) return false;
    hr = frame->Commit();
    if (failed("PNG encoder")) return false;
    hr = encoder->Commit();
    if (failed("PNG encoder")) return false;

    STATSTG stat{};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (failed("PNG encoder")) return false;
    HGLOBAL memory = nullptr;
    hr = GetHGlobalFromStream(stream.get(), &memory);
    if (failed("PNG encoder")) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
    if (!bytes) {
        *error = "PNG encoder: " + systemMessage(GetLastError());
        return false;
    }
    png->assign(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return true;
}

// kestrova-YYYYMMDD-HHMMSS, the local time, as the Linux window names its pictures.
std::wstring pictureStem() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t stem[40];
    swprintf(stem, 40, L"kestrova-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    return stem;
}

}  // namespace

std::wstring kwin::picturesFolder(std::string* error) {
    PWSTR known = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_CREATE, nullptr, &known);
    std::wstring folder = SUCCEEDED(hr) && known ? known : L"";
    CoTaskMemFree(known);
    if (folder.empty()) {
        *error = "no Pictures folder: " + systemMessage(static_cast<DWORD>(hr));
        return {};
    }
    folder += L"\\Kestrova";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot make " + utf8(folder) + ": " + systemMessage(GetLastError());
        return {};
    }
    return folder;
}

std::wstring kwin::savePicture(const Picture& picture, const std::wstring& folder,
                               std::string* error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.bgr.size() != static_cast<std::size_t>(picture.width) * picture.height * 3) {
        *error = "no picture of the screen";
        return {};
    }
    const ComScope com;
    if (!com.ok()) {
        *error = "no COM: " + systemMessage(static_cast<DWORD>(com.result()));
        return {};
    }
    std::vector<std::uint8_t> png;
    if (!encodePng(picture, &png, error)) return {};
    const std::wstring temp = writeTemporary(folder, png, error);
    if (temp.empty()) return {};
    // The name is taken by the rename itself, which never replaces a picture already there.
    const std::wstring stem = folder + L"\\" + pictureStem();
    for (int n = 1; n < 1000; ++n) {
        const std::wstring path = stem + (n == 1 ? L"" : L"-" + std::to_wstring(n)) + L".png";
        if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) return path;
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) {
            DeleteFileW(temp.c_str());
            *error = "cannot write " + utf8(path) + ": " + systemMessage(code);
            return {};
        }
    }
    DeleteFileW(temp.c_str());
    *error = "every name for the picture in " + utf8(folder) + " is taken";
    return {};
}
