#include "TestCanvas.h"

#include "Utf8Text.h"

namespace murmella::popup::testing {

namespace {

// What a single-line run shows after the platform's prefix convention, and which character
// a single "&" underlines (its index in the result).
std::u16string ShownUnits(std::u16string_view text, bool prefix, int* underline) {
  if (underline) *underline = -1;
  if (!prefix || text.find(u'&') == std::u16string_view::npos) return std::u16string(text);
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&') {
      if (i + 1 < text.size() && text[i + 1] == u'&') {
        out += u'&';
        ++i;
      } else if (underline && i + 1 < text.size()) {
        *underline = static_cast<int>(out.size());
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

// The same in UTF-8, the underlined character's index counted in bytes.
std::string Shown(std::u16string_view text, bool prefix, int* underline) {
  const std::u16string shown = ShownUnits(text, prefix, underline);
  if (underline && *underline >= 0)
    *underline = static_cast<int>(text::Utf16ToUtf8(std::u16string_view(shown).substr(0, *underline)).size());
  return text::Utf16ToUtf8(shown);
}

bool SplitsSurrogate(std::u16string_view t) {
  for (std::size_t i = 0; i < t.size(); ++i) {
    const bool high = t[i] >= 0xD800 && t[i] <= 0xDBFF, low = t[i] >= 0xDC00 && t[i] <= 0xDFFF;
    if (low) return true;
    if (high) {
      if (i + 1 >= t.size() || t[i + 1] < 0xDC00 || t[i + 1] > 0xDFFF) return true;
      ++i;
    }
  }
  return false;
}

class TTestPicture : public TDecodedPicture {
 public:
  explicit TTestPicture(TSize s) : Size_(s) {}
  TSize Size() const override { return Size_; }
  void Draw(TMarkupCanvas& canvas, const TRect& dest) const override {
    static_cast<TTestCanvas&>(canvas).RecordImage("picture", dest);
  }

 private:
  TSize Size_;
};

}  // namespace

TTestCanvas::TTestCanvas() { Font_.Color = clWindowText; }

int TTestCanvas::WidthOf(std::u16string_view shown) const {
  const int cw = CharWidth(Font_);
  int w = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char16_t c = shown[i];
    if (c >= 0xDC00 && c <= 0xDFFF && i > 0 && shown[i - 1] >= 0xD800 && shown[i - 1] <= 0xDBFF) continue;
    w += c == u'\t' ? 8 * cw : cw;
  }
  return w;
}

TSize TTestCanvas::TextExtent(std::u16string_view text) {
  ++Measures;
  SplitSurrogates += SplitsSurrogate(text);
  return {WidthOf(text), Height(Font_)};
}

int TTestCanvas::RunWidth(std::u16string_view text, bool prefix) {
  ++Measures;
  SplitSurrogates += SplitsSurrogate(text);
  return WidthOf(ShownUnits(text, prefix, nullptr));
}

void TTestCanvas::DrawRun(std::u16string_view text, const TRect& box, bool prefix) {
  SplitSurrogates += SplitsSurrogate(text);
  TDrawnRun r;
  r.Shown = Shown(text, prefix, &r.PrefixUnderline);
  r.Box = box;
  r.Font = Font_;
  r.Background = BrushSolid_ && TextOpaque_ ? Brush_ : clNone;
  Runs.push_back(std::move(r));
}

void TTestCanvas::TextAt(int x, int y, std::u16string_view text) {
  TextOuts.push_back({{x, y}, text::Utf16ToUtf8(text), Font_});
}

void TTestCanvas::FillRect(const TRect& rect) {
  if (BrushSolid_) Fills.push_back({rect, Brush_});
}

void TTestCanvas::LineTo(int x, int y) {
  Lines.push_back({Pos_, {x, y}, Pen_});
  Pos_ = {x, y};
}

std::uint32_t TTestCanvas::ResolveColor(TColor c) const {
  if (IsSystemColor(c)) return (c & 0xFF) * 0x010101u;
  return c & 0xFFFFFF;
}

void TTestCanvas::ClearRecords() {
  Runs.clear();
  Fills.clear();
  Lines.clear();
  TextOuts.clear();
  Images.clear();
  Clips.clear();
}

std::string TTestCanvas::AllText() const {
  std::string s;
  for (const auto& r : Runs) s += r.Shown;
  return s;
}

void TTestImageList::Draw(TMarkupCanvas& canvas, int index, int x, int y) const {
  static_cast<TTestCanvas&>(canvas).RecordImage("idx" + std::to_string(index), {x, y, x + Size_.Width, y + Size_.Height});
}

int TTestShellIcons::IconIndex(std::string_view name, bool) {
  Asked.emplace_back(name);
  return 7;
}

void TTestShellIcons::Draw(TMarkupCanvas& canvas, int index, bool small, int x, int y) {
  const int s = small ? 16 : 32;
  static_cast<TTestCanvas&>(canvas).RecordImage((small ? "ssys" : "lsys") + std::to_string(index), {x, y, x + s, y + s});
}

std::optional<TBytes> TTestLoader::ResourceBytes(std::string_view name) {
  auto it = Resources.find(std::string(name));
  if (it == Resources.end()) return std::nullopt;
  return it->second;
}

std::optional<TBytes> TTestLoader::FileBytes(std::string_view path) {
  FilesAsked.emplace_back(path);
  auto it = Files.find(std::string(path));
  if (it == Files.end()) return std::nullopt;
  return it->second;
}

std::unique_ptr<TDecodedPicture> TTestLoader::Decode(const TBytes& b) {
  ++Decodes;
  if (b.size() >= 5 && b[0] == 'P' && b[1] == 'I' && b[2] == 'C') return std::make_unique<TTestPicture>(TSize{b[3], b[4]});
  if (b.size() >= 10 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return std::make_unique<TTestPicture>(TSize{b[6], b[8]});
  throw EPictureError(kInvalidImageFormat);
}

TBytes TestPictureBytes(int width, int height) {
  return {'P', 'I', 'C', static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(height)};
}

}  // namespace murmella::popup::testing
