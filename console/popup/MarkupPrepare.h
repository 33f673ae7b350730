// The markup as the layout reads it: entities resolved, the first "<#" opened up, carriage
// returns turned into line breaks.
#pragma once

#include <string>
#include <string_view>

namespace murmella::popup {

struct TPreparedMarkup {
  std::string Text;
  bool Prefix = true;  // false when the markup contains " &": ampersands are then shown as written
};

TPreparedMarkup PrepareMarkup(std::string_view markup);

// Replaces the first occurrence (any case) of each named entity, in table order, and repeats
// until a repetition replaces nothing. Runs in linear time on hostile input.
void ReplaceEntities(std::string& s);

// "&nbsp;", "&lt;" and "&gt;" inside one run.
std::string ReplaceRunEntities(std::string_view run);

}  // namespace murmella::popup
