// "SSYS:" and "LSYS:" sources: icons of the system image lists, through the shell.
#pragma once

#include "MarkupImages.h"

namespace murmella::popup {

class TSystemShellIcons final : public TShellIcons {
 public:
  int IconIndex(std::string_view name, bool small) override;
  TSize IconSize(bool small) override;
  void Draw(TMarkupCanvas& canvas, int index, bool small, int x, int y) override;
};

}  // namespace murmella::popup
