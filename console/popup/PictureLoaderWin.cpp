// Pictures on Windows: program resources, local files and OleLoadPicture.
#include "GdiCanvas.h"
#include "LocalPath.h"
#include "PictureContainer.h"

#include <windows.h>
#include <olectl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <string>

using Microsoft::WRL::ComPtr;

namespace murmella::popup {

namespace {

// Larger files are not pictures anyone puts in a notice; refusing them bounds the memory
// a hostile name can make the console use.
constexpr LONGLONG kMaxPictureFile = 8ll << 20;

class THandle {
 public:
  explicit THandle(HANDLE h) : H_(h) {}
  ~THandle() {
    if (H_ != INVALID_HANDLE_VALUE && H_) CloseHandle(H_);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE Get() const { return H_; }

 private:
  HANDLE H_;
};

class TOlePicture final : public TDecodedPicture {
 public:
  explicit TOlePicture(ComPtr<IPicture> p) : Picture_(std::move(p)) {
    Picture_->get_Width(&HmWidth_);
    Picture_->get_Height(&HmHeight_);
  }
  TSize Size() const override {
    return {::MulDiv(HmWidth_, 96, 2540), ::MulDiv(HmHeight_, 96, 2540)};
  }
  void Draw(TMarkupCanvas& canvas, const TRect& d) const override {
    auto* gdi = dynamic_cast<TGdiCanvas*>(&canvas);
    if (!gdi) return;
    Picture_->Render(gdi->Handle(), d.Left, d.Top, d.Width(), d.Height(), 0, HmHeight_, HmWidth_, -HmHeight_, nullptr);
  }

 private:
  ComPtr<IPicture> Picture_;
  OLE_XSIZE_HIMETRIC HmWidth_ = 0;
  OLE_YSIZE_HIMETRIC HmHeight_ = 0;
};

// An opaque bitmap's pixels in a DIB section of our own. The platform's picture object keeps
// a copy of the file's bytes beside its bitmap for as long as it lives, so a cache of opaque
// bitmaps held as picture objects would hold every picture three times (with the bytes the
// cache keeps itself); this holds the pixels once.
class TDibPicture final : public TDecodedPicture {
 public:
  TDibPicture(HBITMAP dib, int width, int height, TSize size) : Dib_(dib), Width_(width), Height_(height), Size_(size) {}
  ~TDibPicture() override { DeleteObject(Dib_); }
  TDibPicture(const TDibPicture&) = delete;
  TDibPicture& operator=(const TDibPicture&) = delete;

  // The picture's bitmap copied, or nothing when it cannot be (the picture object is kept then).
  static std::unique_ptr<TDibPicture> From(IPicture& picture, TSize size) {
    OLE_HANDLE handle = 0;
    if (FAILED(picture.get_Handle(&handle)) || !handle) return nullptr;
    const auto source = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    BITMAP info{};
    if (!GetObjectW(source, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = info.bmWidth;
    bi.bmiHeader.biHeight = -info.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    // The picture object may hold its bitmap selected into a DC of its own: read through that.
    HDC own = nullptr;
    picture.get_CurDC(&own);
    HDC dc = own ? own : CreateCompatibleDC(screen);
    const bool copied = dib && GetDIBits(dc, source, 0, static_cast<UINT>(info.bmHeight), bits, &bi, DIB_RGB_COLORS) ==
                                   info.bmHeight;
    if (!own) DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    if (!copied) {
      if (dib) DeleteObject(dib);
      return nullptr;
    }
    return std::make_unique<TDibPicture>(dib, info.bmWidth, info.bmHeight, size);
  }

  TSize Size() const override { return Size_; }
  void Draw(TMarkupCanvas& canvas, const TRect& d) const override {
    auto* gdi = dynamic_cast<TGdiCanvas*>(&canvas);
    if (!gdi) return;
    HDC source = CreateCompatibleDC(gdi->Handle());
    HGDIOBJ old = SelectObject(source, Dib_);
    StretchBlt(gdi->Handle(), d.Left, d.Top, d.Width(), d.Height(), source, 0, 0, Width_, Height_, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
  }

 private:
  HBITMAP Dib_;
  int Width_;
  int Height_;
  TSize Size_;
};

// Opaque bitmaps (BMP, JPEG and GIF without transparency) keep their pixels only; icons,
// metafiles and transparent pictures stay with the platform, which draws them.
std::unique_ptr<TDecodedPicture> Keep(ComPtr<IPicture> picture) {
  auto ole = std::make_unique<TOlePicture>(picture);
  SHORT type = PICTYPE_UNINITIALIZED;
  DWORD attributes = 0;
  if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
      SUCCEEDED(picture->get_Attributes(&attributes)) && !(attributes & PICTURE_TRANSPARENT))
    if (auto dib = TDibPicture::From(*picture.Get(), ole->Size())) return dib;
  return ole;
}

class TWindowsLoader final : public TPictureLoader {
 public:
  std::optional<TBytes> ResourceBytes(std::string_view name) override {
    const std::string n(name);
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceA(module, n.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!res) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, res);
    const DWORD size = SizeofResource(module, res);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    const auto* p = static_cast<const std::uint8_t*>(data);
    return TBytes(p, p + size);
  }

  std::optional<TBytes> FileBytes(std::string_view path) override {
    if (!IsLocalDiskPath(path)) return std::nullopt;
    const std::string p(path);
    THandle file(CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) return std::nullopt;
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxPictureFile) return std::nullopt;
    TBytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
      return std::nullopt;
    return bytes;
  }

  std::unique_ptr<TDecodedPicture> Decode(const TBytes& bytes) override {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (!mem) throw EPictureError(kNoMemoryForImage);
    if (void* p = GlobalLock(mem)) {
      if (!bytes.empty()) memcpy(p, bytes.data(), bytes.size());
      GlobalUnlock(mem);
    }
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(mem, TRUE, &stream)) || !stream) {
      GlobalFree(mem);
      throw EPictureError(kNoImageStream);
    }
    if (bytes.empty()) throw EPictureError(kEmptyImageStream);
    ComPtr<IPicture> picture;
    const HRESULT hr = OleLoadPicture(stream.Get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                                      reinterpret_cast<void**>(picture.GetAddressOf()));
    if (hr == CTL_E_INVALIDPICTURE || hr == E_NOINTERFACE) throw EPictureError(kInvalidImageFormat);
    if (FAILED(hr) || !picture) throw EPictureError(kCouldNotLoadImage);
    return Keep(std::move(picture));
  }
};

}  // namespace

TPictureLoader& DefaultPictureLoader() {
  static TWindowsLoader loader;
  return loader;
}

}  // namespace murmella::popup
