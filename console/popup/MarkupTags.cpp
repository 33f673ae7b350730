// What each tag does. A tag is known by its first letter after "<" (or "</") and, for some
// letters, the one after it; the rest of its name is free.
#include "MarkupLayout.h"

#include "MarkupValues.h"

#include <algorithm>

namespace murmella::popup {

namespace {

constexpr TColor kLinkColor = clBlue;
constexpr int kListStep = 12;
constexpr int kMinFontPoints = 1;
constexpr int kMaxFontPoints = 1000;  // bigger asks only make the platform build huge fonts
constexpr i64 kMaxOffset = 1 << 24;

char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool Has(std::string_view hay, std::string_view needle) { return hay.find(needle) != std::string_view::npos; }

// Attribute text of most tags: after the tag's first two characters up to one character
// past its ">" (clipped to the markup).
std::string_view GenericAttributes(std::string_view rest, std::size_t gt) {
  if (rest.size() <= 2) return {};
  return rest.substr(2, gt);
}

i64 Clamp(i64 v, i64 limit) { return std::clamp(v, -limit, limit); }

}  // namespace

void TMarkupLayout::HandleTag(TPass& p, std::string_view rest, std::size_t gt) {
  if (rest[1] == '/') {
    if (rest.size() > 3) CloseTag(p, rest);
  } else {
    OpenTag(p, rest, gt);
  }
}

void TMarkupLayout::OpenTag(TPass& p, std::string_view rest, std::size_t gt) {
  TMarkupFont& font = *p.Font;
  const char c1 = Up(rest[1]);
  const char c2 = rest.size() > 2 ? Up(rest[2]) : '\0';
  switch (c1) {
    case 'A': {
      ++C_.LinkCounter;
      if (SecondPass(p) && (!In_.HoverStyle || In_.HoverNumber == C_.LinkCounter)) font.Style |= fsUnderline;
      font.Color = kLinkColor;
      C_.InLink = true;
      C_.LinkTarget = std::string(FirstQuotedValue(GenericAttributes(rest, gt)));
      C_.LinkStartX = p.RLeft + p.W;
      C_.LinkStartTop = Line_.Top;
      C_.LinkStartLine = Line_.Index;
      break;
    }
    case 'B':
      if (c2 == '>')
        font.Style |= fsBold;
      else if (c2 == 'O')
        BodyTag(p, rest, gt);
      else if (c2 == 'R')
        p.Broken = true;
      break;
    case 'E':
      if (SecondPass(p)) Wavy_ = true;
      break;
    case 'F':
      FontTag(p, rest, gt);
      break;
    case 'H':
      if (c2 == 'I') {
        if (SecondPass(p)) {
          HiSeen_ = true;
          SavedHiFont_ = font.Color;
          SavedHiBrush_ = CurrentBrush();
          Canvas_.SetBrushColor(clHighlight);
          font.Color = clHighlightText;
        }
      } else if (c2 == 'R') {
        p.Broken = true;
        if (p.Draws) {
          const TColor pen = Canvas_.PenColor();
          Canvas_.SetPenColor(clBlack);
          Canvas_.MoveTo(ToCoord(p.RLeft), ToCoord(p.B0 + 1));
          Canvas_.LineTo(ToCoord(p.RRight), ToCoord(p.B0 + 1));
          Canvas_.SetPenColor(pen);
        }
      }
      break;
    case 'I':
      if (c2 == '>') {
        font.Style |= fsItalic;
      } else if (c2 == 'N') {
        const TLenientNumber v = ReadNumber(AttributeValue(GenericAttributes(rest, gt), "x"));
        if (v.Complete && p.W < v.Value) {
          p.W = Clamp(v.Value, kMaxOffset);
          p.X = In_.Bounds.Left + p.W;
        }
      } else if (c2 == 'M') {
        ImageTag(p, rest, gt);
      }
      break;
    case 'L':
      ListItemTag(p);
      break;
    case 'O':
      if (c2 == 'F') {
        const i64 v = Clamp(ReadNumberValue(AttributeValue(GenericAttributes(rest, gt), "x")), kMaxOffset);
        *p.OffsetSet = v;
        p.X = v;
        p.W = v;
      }
      break;
    case 'P':
      ParagraphTag(p, rest, gt);
      break;
    case 'R': {
      const int degrees = ReadNumberValue(AttributeValue(GenericAttributes(rest, gt), "a")) % 360;
      *p.Rotated = font;
      font.Escapement = degrees * 10;
      break;
    }
    case 'S':
      if (c2 == '>') {
        font.Style |= fsStrikeOut;
      } else if (c2 == 'H') {
        C_.Shadow = true;
      } else if (rest.size() >= 5) {
        const std::string head = UpperCase(rest.substr(0, 5));
        if (head == "<SUB>") Line_.Sub = true;
        if (head == "<SUP>") Line_.Sup = true;
      }
      break;
    case 'U':
      if (c2 == '>') {
        font.Style |= fsUnderline;
      } else {
        ++C_.ListDepth;
        p.Broken = true;
      }
      break;
    case 'Z':
      C_.Hidden = true;
      break;
    default:
      break;
  }
}

// The hit link's part on the current line.
TRect TMarkupLayout::LinkPartOnLine(const TPass& p) const {
  const i64 right = p.RLeft + p.W;
  if (C_.LinkStartLine == Line_.Index)
    return {ToCoord(C_.LinkStartX), ToCoord(C_.LinkStartTop), ToCoord(right), ToCoord(p.B0)};
  return {ToCoord(p.RLeft), ToCoord(Line_.Top), ToCoord(right), ToCoord(p.B0)};
}

void TMarkupLayout::CloseTag(TPass& p, std::string_view rest) {
  TMarkupFont& font = *p.Font;
  const char c = Up(rest[2]);
  const char c3 = Up(rest[3]);
  switch (c) {
    case 'A':
      if (SecondPass(p) && (!In_.HoverStyle || In_.HoverNumber == C_.LinkCounter)) font.Style &= ~fsUnderline;
      font.Color = Base_.Color;
      C_.InLink = false;
      if (In_.Record) In_.Record->LinkClose(C_.LinkCounter, LinkPartOnLine(p));
      if (LinkMarked_) {
        // Only a closed link has a number; its rectangle is its part on the line under the
        // point, which may lie above this closing line.
        Out_.HitNumber = C_.LinkCounter;
        Out_.HitRect = HitLinePart_ ? *HitLinePart_ : LinkPartOnLine(p);
        LinkMarked_ = false;
        HitLinePart_.reset();
      }
      break;
    case 'B':
      if (c3 == '>')
        font.Style &= ~fsBold;
      else
        font.Color = Base_.Color;
      break;
    case 'E':
      if (SecondPass(p)) Wavy_ = false;
      break;
    case 'F':
      font.Name = Base_.Name;
      font.Size = Base_.Size;
      font.Height = Base_.Height;
      if (SecondPass(p)) {
        font.Color = Base_.Color;
        RestoreBrush(SavedFontBrush_);
      }
      break;
    case 'H':
      if (SecondPass(p) && HiSeen_) {
        font.Color = SavedHiFont_;
        RestoreBrush(SavedHiBrush_);
      }
      break;
    case 'I':
      font.Style &= ~fsItalic;
      break;
    case 'L':
      p.Broken = true;
      break;
    case 'O':
      *p.OffsetSet = 0;
      break;
    case 'P':
      p.Broken = true;
      if (SecondPass(p)) {
        RestoreBrush(SavedParBrush_);
        ParBackground_ = false;
      }
      break;
    case 'R':
      if (*p.Rotated) {
        font = **p.Rotated;
        p.Rotated->reset();
      }
      break;
    case 'S':
      if (c3 == 'U')
        Line_.Sub = Line_.Sup = false;
      else if (c3 == 'H')
        C_.Shadow = false;
      else
        font.Style &= ~fsStrikeOut;
      break;
    case 'U':
      if (c3 == '>')
        font.Style &= ~fsUnderline;
      else if (C_.ListDepth > 0)
        --C_.ListDepth;
      else
        font.Style &= ~fsUnderline;
      break;
    case 'Z':
      C_.Hidden = false;
      break;
    default:
      break;
  }
}

void TMarkupLayout::ListItemTag(TPass& p) {
  p.W += static_cast<i64>(C_.ListDepth) * kListStep;
  if (p.ItemSeen) {
    if (p.Measuring) p.Full = true;
    return;
  }
  p.ItemSeen = true;
  p.X += static_cast<i64>(C_.ListDepth - 1) * kListStep;
  if (p.Draws && !C_.Hidden) {
    TMarkupFont symbol = *p.Font;
    symbol.Name = "Symbol";
    Canvas_.SetFont(symbol);
    Canvas_.TextAt(ToCoord(p.X), ToCoord(Line_.Top), (C_.ListDepth % 2 != 0) ? u"\u00B7" : u"o");
    Canvas_.SetFont(*p.Font);
  }
  p.X += kListStep;
}

void TMarkupLayout::FontTag(TPass& p, std::string_view rest, std::size_t gt) {
  if (gt == std::string_view::npos) return;
  TMarkupFont& font = *p.Font;
  const std::string a = gt > 5 ? UpperCase(rest.substr(5, gt - 5)) : std::string();
  // A FACE whose value is not quoted reads as empty and names no face at all.
  if (a.find("FACE") != std::string::npos) font.Name = std::string(AttributeValue(a, "FACE"));
  TColor color;
  if (ReadColor(AttributeValue(a, " COLOR"), color)) font.Color = color;
  if (SecondPass(p) && ReadColor(AttributeValue(a, "BGCOLOR"), color)) {
    SavedFontBrush_ = CurrentBrush();
    Canvas_.SetBrushColor(color);
  }
  const std::size_t size = a.find("SIZE");
  if (size != std::string::npos) {
    const std::size_t eq = a.find('=', size);
    if (eq != std::string::npos) {
      const std::size_t quote = a.find('"', eq);
      const int n = ReadNumberValue(std::string_view(a).substr(quote != std::string::npos ? quote + 1 : eq + 1));
      static constexpr int kHtmlSizes[] = {8, 10, 12, 14, 16};
      const int points = (n >= 1 && n <= 5) ? kHtmlSizes[n - 1] : n;
      font.SetPoints(std::clamp(points, kMinFontPoints, kMaxFontPoints));
    }
  }
}

void TMarkupLayout::ParagraphTag(TPass& p, std::string_view rest, std::size_t gt) {
  if (gt == std::string_view::npos) return;
  const std::string a = UpperCase(GenericAttributes(rest, gt));
  if (FindNoCase(a, "ALIGN") != std::string::npos) {
    const std::string_view v = AttributeValue(a, "ALIGN");
    if (Has(v, "RIGHT")) Align_ = TAlign::Right;
    if (Has(v, "LEFT")) Align_ = TAlign::Left;
    if (Has(v, "CENTER")) Align_ = TAlign::Center;
  }
  if (a.find("INDENT") != std::string::npos) Indent_ = Clamp(ReadNumberValue(AttributeValue(a, "INDENT")), kMaxOffset);
  TColor c, c2;
  if (!SecondPass(p) || !ReadColor(AttributeValue(a, "BGCOLOR"), c)) return;
  ParBackground_ = true;
  const i64 top = Line_.Top;
  if (ReadColor(AttributeValue(a, "BGCOLORTO"), c2)) {
    if (p.Draws)
      GradientFill(Canvas_, {In_.Bounds.Left, ToCoord(top), In_.Bounds.Right, ToCoord(p.B0 + 2)}, c, c2, true);
    Canvas_.SetBrushClear();
  } else {
    SavedParBrush_ = CurrentBrush();
    Canvas_.SetBrushColor(c);
    Canvas_.SetPenColor(c);
    if (p.Draws) Canvas_.FillRect({In_.Bounds.Left, ToCoord(top), In_.Bounds.Right, ToCoord(p.B0)});
  }
}

void TMarkupLayout::ImageTag(TPass& p, std::string_view rest, std::size_t gt) {
  const std::string_view attrs = GenericAttributes(rest, gt);
  const std::string a = UpperCase(attrs);
  const std::string_view src = AttributeValue(attrs, "SRC");
  const int tagWidth = ReadNumberValue(AttributeValue(a, "WIDTH"));
  const int tagHeight = ReadNumberValue(AttributeValue(a, "HEIGHT"));
  const TMarkupImage img = ResolveImage(Images_, src, tagWidth, tagHeight);
  const i64 iw = img.Size.Width, ih = img.Size.Height;

  if (In_.Record && C_.InLink) In_.Record->LinkImage(!p.Measuring, p.RLeft + p.W, iw, Line_.Top, ih, C_.LinkTarget);
  if (p.Checks && C_.InLink) {
    const i64 px = In_.Point.X, py = In_.Point.Y, x0 = p.RLeft + p.W;
    if (x0 < px && px < x0 + iw && Line_.Top < py && py < Line_.Top + ih) {
      p.ImageHit = true;
      Out_.HitTarget = C_.LinkTarget;
    }
  }
  // Also an image of no width: on a line that an over-wide word already filled, it starts
  // the next line.
  const i64 lineWidth = p.RRight - p.RLeft;
  if (p.Measuring && p.W + iw > lineWidth && iw < lineWidth) {
    p.Full = true;
    return;
  }
  if (p.Draws) DrawImage(Images_, img, ToCoord(p.X), ToCoord(Line_.Top), tagWidth, tagHeight);
  p.W += iw;
  p.X += iw;
  Line_.H = std::max(Line_.H, ih);
  if (Has(a, "ALIGN")) {
    const i64 gh = GhHeight();
    if (Has(a, "\"TOP"))
      Line_.ImageOffset = Line_.H - gh;
    else if (Has(a, "\"MIDDLE")) {
      const i64 d = Line_.H - gh;
      Line_.ImageOffset = d >= 0 ? d / 2 : -((-d + 1) / 2);
    }
  }
  if (Has(a, "WRAP")) {
    Line_.H = GhHeight();
    Line_.ImageOffset = 0;
  }
}

void TMarkupLayout::BodyTag(TPass& p, std::string_view rest, std::size_t gt) {
  if (!p.Draws) return;
  const std::string a = rest.size() > 5 ? UpperCase(rest.substr(5, gt)) : std::string();
  const TRect& bounds = In_.Bounds;
  const int top = ToCoord(Line_.Top);

  struct Place {
    const char* Name;
    int Kind;  // 0 tiled, 1 top left, 2 top right
  };
  for (const Place place : {Place{"BACKGROUND", 0}, Place{"BGTOPLEFT", 1}, Place{"BGTOPRIGHT", 2}}) {
    const std::string_view src = AttributeValue(a, place.Name);
    if (src.empty()) continue;
    const TMarkupImage img = ResolveImage(Images_, src, 0, 0);
    if (img.Kind == TImageKind::ListImage || img.Kind == TImageKind::ShellIcon) {
      int x = ToCoord(p.X);
      if (place.Kind == 2)
        x = ToCoord(p.RRight - (In_.Images ? In_.Images->ImageSize().Width : 0));
      DrawImage(Images_, img, x, top, 0, 0);
    } else if (img.Kind == TImageKind::Picture) {
      if (place.Kind == 0) {
        TilePicture(Images_, img, bounds);
      } else {
        Canvas_.PushClip(bounds);
        const int x = place.Kind == 1 ? bounds.Left : bounds.Right - img.Picture->Width();
        DrawImage(Images_, img, x, bounds.Top, 0, 0);
        Canvas_.PopClip();
      }
    }
  }

  TColor c, c2;
  if (!ReadColor(AttributeValue(a, "BGCOLOR"), c)) return;
  if (ReadColor(AttributeValue(a, "BGCOLORTO"), c2)) {
    const bool leftToRight = a.find("DIR") == std::string::npos || AttributeValue(a, "DIR") == "H";
    GradientFill(Canvas_, bounds, c, c2, leftToRight);
    Canvas_.SetBrushClear();
  } else {
    SavedFontBrush_ = CurrentBrush();
    const TColor pen = Canvas_.PenColor();
    Canvas_.SetBrushColor(c);
    Canvas_.SetPenColor(c);
    Canvas_.FillRect({bounds.Left - 2, bounds.Top, bounds.Right, bounds.Bottom});
    Canvas_.SetPenColor(pen);
  }
}

}  // namespace murmella::popup
