// The visitors of this run, newest first, for the tray: the icon's tip names the latest, the
// tray menu lists them all. Names are the page's UTF-16 text, kept as it came.
#pragma once

#include "TextCut.h"

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace murmella::console {

struct TVisitor {
  std::u16string Name;
  int Hour = 0;
  int Minute = 0;
};

using forms::CutUtf16;

// "HH:MM", hours 0 to 23.
inline std::u16string ClockText(int hour, int minute) {
  auto two = [](int v) {
    v = v < 0 ? 0 : v % 100;
    return std::u16string{static_cast<char16_t>(u'0' + v / 10), static_cast<char16_t>(u'0' + v % 10)};
  };
  return two(hour) + u":" + two(minute);
}

class TRecentVisitors {
 public:
  static constexpr std::size_t kKept = 10;
  // More than the tip and the menu ever show: a page passing megabytes per call holds no more.
  static constexpr std::size_t kNameUnits = 1024;

  // An empty name is no visitor.
  void Add(std::u16string name, int hour, int minute) {
    if (name.empty()) return;
    if (name.size() > kNameUnits) name = std::u16string(forms::CutUtf16(std::u16string_view(name), kNameUnits));
    visitors_.push_front({std::move(name), hour, minute});
    if (visitors_.size() > kKept) visitors_.pop_back();
  }
  const std::deque<TVisitor>& NewestFirst() const { return visitors_; }

 private:
  std::deque<TVisitor> visitors_;
};

// The tray icon's tip holds 63 characters.
inline constexpr std::size_t kTipUnits = 63;

// "MurmellaChat - NAME, HH:MM" for the latest visitor, `title` before the first; cut to the tip.
inline std::u16string VisitorTip(std::u16string_view title, const TRecentVisitors& recent) {
  if (recent.NewestFirst().empty()) return std::u16string(CutUtf16(std::u16string_view(title), kTipUnits));
  const TVisitor& v = recent.NewestFirst().front();
  const std::u16string tip = u"MurmellaChat - " + v.Name + u", " + ClockText(v.Hour, v.Minute);
  return std::u16string(CutUtf16(std::u16string_view(tip), kTipUnits));
}

// Longer names end in an ellipsis in the menu, which would otherwise grow past the screen.
inline constexpr std::size_t kMenuNameUnits = 40;

// "HH:MM  NAME" as a menu shows it: an ampersand stays an ampersand (not an underlined key) and
// control characters (a tab would push the rest of the name to the right edge) become spaces.
inline std::u16string VisitorMenuCaption(const TVisitor& v) {
  std::u16string caption = ClockText(v.Hour, v.Minute) + u"  ";
  const std::u16string_view name = CutUtf16(std::u16string_view(v.Name), kMenuNameUnits);
  for (char16_t c : name) {
    if (c == u'&') caption += u"&&";
    else caption.push_back(c < 0x20 || c == 0x7F ? u' ' : c);
  }
  if (name.size() < v.Name.size()) caption += u'\u2026';
  return caption;
}

}  // namespace murmella::console
