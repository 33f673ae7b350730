#include "PictureContainer.h"

#include <algorithm>
#include <exception>

#include "LocalPath.h"
#include "MarkupValues.h"

namespace murmella::popup {

namespace {

int U16(const TBytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }

// Skips the data sub-blocks starting at i; returns the position after the terminator or
// bytes.size() when the data ends first.
std::size_t SkipSubBlocks(const TBytes& b, std::size_t i) {
  while (i < b.size()) {
    std::size_t n = b[i];
    if (n == 0) return i + 1;
    i += n + 1;
  }
  return b.size();
}

}  // namespace

TGifInfo ReadGifInfo(const TBytes& b) {
  TGifInfo g;
  if (b.size() < 4 || b[0] != 'G' || b[1] != 'I' || b[2] != 'F' || b[3] != '8') return g;
  g.IsGif = true;
  if (b.size() >= 10) {
    g.LogicalWidth = U16(b, 6);
    g.LogicalHeight = U16(b, 8);
  }
  for (std::size_t i = 0; i + 8 < b.size(); ++i)
    if (b[i] == 0x21 && b[i + 1] == 0xF9 && b[i + 2] == 0x04 && b[i + 8] == 0x2C) ++g.FrameCount;

  // The first image descriptor: after the header and the global colour table, past any
  // extension blocks.
  if (b.size() < 13) return g;
  std::size_t i = 13;
  if (b[10] & 0x80) i += 3u << ((b[10] & 7) + 1);
  while (i < b.size()) {
    if (b[i] == 0x2C) {
      if (i + 4 < b.size()) g.FirstFrame = {U16(b, i + 1), U16(b, i + 3)};
      break;
    }
    if (b[i] != 0x21 || i + 1 >= b.size()) break;
    i = SkipSubBlocks(b, i + 2);
  }
  return g;
}

int THTMLPicture::Width() const {
  if (Gif_.IsGif && Gif_.LogicalWidth != 0) return Gif_.LogicalWidth;
  return DecodedSize().Width;
}

int THTMLPicture::Height() const {
  if (Gif_.IsGif && Gif_.LogicalHeight != 0) return Gif_.LogicalHeight;
  return DecodedSize().Height;
}

void THTMLPicture::LoadFromBytes(TBytes bytes, TPictureLoader& loader) {
  Decoded_.reset();
  Bytes_ = std::move(bytes);
  Gif_ = ReadGifInfo(Bytes_);
  Decoded_ = loader.Decode(Bytes_);
}

void THTMLPicture::LoadFromFile(std::string_view path, TPictureLoader& loader) {
  std::optional<TBytes> bytes = loader.FileBytes(path);
  if (!bytes) {
    Decoded_.reset();
    return;
  }
  try {
    LoadFromBytes(std::move(*bytes), loader);
  } catch (const EPictureError&) {
    Decoded_.reset();
  }
}

void THTMLPicture::LoadFromResource(std::string_view name, TPictureLoader& loader) {
  std::optional<TBytes> bytes = loader.ResourceBytes(name);
  if (bytes) LoadFromBytes(std::move(*bytes), loader);
}

void THTMLPicture::Draw(TMarkupCanvas& canvas, const TRect& dest) const {
  if (Decoded_) Decoded_->Draw(canvas, dest);
}

std::size_t THTMLPicture::PixelCount() const {
  const TSize size = DecodedSize();
  return static_cast<std::size_t>(std::max(size.Width, 0)) * static_cast<std::size_t>(std::max(size.Height, 0));
}

void THTMLPicture::DropBytesIfEmpty() {
  if (!Empty()) return;
  TBytes none;
  Bytes_.swap(none);
}

THTMLPicture* THTMLPictureCache::Find(std::string_view source) const {
  for (const auto& e : Pictures_)
    if (e.Picture->Source() == source) return e.Picture.get();
  return nullptr;
}

bool THTMLPictureCache::Over(std::size_t count, std::size_t bytes, std::size_t pixels) const {
  return count > Limits_.Pictures || bytes > Limits_.Bytes || pixels > Limits_.Pixels;
}

// Drops the oldest pictures this render does not hold while the cache is over its limits.
void THTMLPictureCache::MakeRoom() {
  for (std::size_t i = 0; i < Pictures_.size() && Over(Pictures_.size(), bytes_, pixels_);) {
    if (Pictures_[i].Render == render_) {
      ++i;
      continue;
    }
    bytes_ -= Pictures_[i].Picture->ByteCount();
    pixels_ -= Pictures_[i].Picture->PixelCount();
    Pictures_.erase(Pictures_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void THTMLPictureCache::Load(THTMLPicture& pic, std::string_view source) {
  if (FindNoCase(source, "RES://") == 0)
    pic.LoadFromResource(source.substr(6), *Loader_);
  else if (FindNoCase(source, "FILE://") == 0 && IsPlainLocalPath(source.substr(7)))
    pic.LoadFromFile(source.substr(7), *Loader_);
}

THTMLPicture& THTMLPictureCache::Obtain(std::string_view source) {
  for (std::size_t i = 0; i < Pictures_.size(); ++i)
    if (Pictures_[i].Picture->Source() == source) {
      // Moved to the newest end: the oldest use goes first.
      TEntry e = std::move(Pictures_[i]);
      Pictures_.erase(Pictures_.begin() + static_cast<std::ptrdiff_t>(i));
      e.Render = render_;
      Pictures_.push_back(std::move(e));
      return *Pictures_.back().Picture;
    }
  // No room even by count once what no render holds is gone: not loaded at all.
  Pictures_.push_back(TEntry{std::make_unique<THTMLPicture>(), render_});
  MakeRoom();
  Pictures_.pop_back();
  if (Over(Pictures_.size() + 1, bytes_, pixels_)) {
    overflow_ = THTMLPicture(std::string(source));
    return overflow_;
  }
  // Added before loading, so that a resource that throws is not tried again.
  Pictures_.push_back(TEntry{std::make_unique<THTMLPicture>(std::string(source)), render_});
  THTMLPicture& pic = *Pictures_.back().Picture;
  pic.Asynchronous = false;
  std::exception_ptr failed;
  try {
    Load(pic, source);
  } catch (...) {
    failed = std::current_exception();
  }
  pic.DropBytesIfEmpty();
  bytes_ += pic.ByteCount();
  pixels_ += pic.PixelCount();
  if (failed) std::rethrow_exception(failed);
  // Older pictures make room for it; if those this render holds leave none, it is drawn this
  // once and not kept.
  MakeRoom();
  if (Over(Pictures_.size(), bytes_, pixels_)) {
    bytes_ -= pic.ByteCount();
    pixels_ -= pic.PixelCount();
    overflow_ = std::move(pic);
    Pictures_.pop_back();
    return overflow_;
  }
  return pic;
}

TPictureContainer::TItem& TPictureContainer::Add(std::string name) {
  Items.push_back(std::make_unique<TItem>());
  Items.back()->Name = std::move(name);
  return *Items.back();
}

THTMLPicture* TPictureContainer::FindPicture(std::string_view name) const {
  const std::string wanted = UpperCase(name);
  for (const auto& item : Items)
    if (UpperCase(item->Name) == wanted) return &item->Picture;
  return nullptr;
}

}  // namespace murmella::popup
