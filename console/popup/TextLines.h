// The popup's Text: a list of lines that reports every change, shown joined with nothing in
// between (a break in the markup comes from <br> or a carriage return inside a line).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace murmella::popup {

class TTextLines {
 public:
  const std::vector<std::string>& Lines() const { return lines_; }
  int Count() const { return static_cast<int>(lines_.size()); }
  void Clear() {
    lines_.clear();
    Changed();
  }
  void Add(std::string line) {
    lines_.push_back(std::move(line));
    Changed();
  }
  void Assign(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    Changed();
  }
  std::string Joined() const {
    std::string s;
    for (const std::string& l : lines_) s += l;
    return s;
  }
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::string> lines_;
};

}  // namespace murmella::popup
