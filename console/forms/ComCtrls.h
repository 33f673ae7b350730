// A page container without visible tabs, holding pages of which one shows at a time.
#pragma once

#include "Controls.h"

#include <vector>

namespace murmella::forms {

class TPageControl;

class TTabSheet : public TWinControl {
 public:
  // Fills the container; hidden unless it is the active page.
  TTabSheet(TComponent* owner, TPageControl& pageControl, std::string name = {});
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }

 private:
  friend class TPageControl;
  TPageControl* pageControl_;
};

class TPageControl : public TWinControl {
 public:
  TPageControl(TComponent* owner, TWinControl* parent, std::string name = {});
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Page(int index) const;  // null outside 0 .. PageCount() - 1
  TTabSheet* ActivePage() const { return active_; }
  // Shows `page` (one of this container's) and hides the others.
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);

 private:
  friend class TTabSheet;
  void AddPage(TTabSheet& page);
  void RemovePage(TTabSheet& page);
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};

}  // namespace murmella::forms
