#include "ComCtrls.h"

#include <algorithm>

namespace murmella::forms {

namespace {

TWindowParams ContainerParams(const char* className, DWORD visible) {
  TWindowParams p;
  p.ClassName = className;
  p.Style = visible | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  p.ExStyle = WS_EX_CONTROLPARENT;
  return p;
}

}  // namespace

TTabSheet::TTabSheet(TComponent* owner, TPageControl& pageControl, std::string name)
    : TWinControl(owner, &pageControl, ContainerParams("MurmellaTabSheet", 0), std::move(name)),
      pageControl_(&pageControl) {
  SetAlign(TAlign::alClient);
  pageControl.AddPage(*this);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(*this);
}

TPageControl::TPageControl(TComponent* owner, TWinControl* parent, std::string name)
    : TWinControl(owner, parent, ContainerParams("MurmellaPageControl", WS_VISIBLE), std::move(name)) {}

TPageControl::~TPageControl() {
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
}

TTabSheet* TPageControl::Page(int index) const {
  return index >= 0 && index < PageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page && page->pageControl_ != this) return;
  active_ = page;
  for (TTabSheet* p : pages_) p->SetVisible(p == active_);
}

int TPageControl::ActivePageIndex() const {
  auto it = std::find(pages_.begin(), pages_.end(), active_);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

void TPageControl::SetActivePageIndex(int index) { SetActivePage(Page(index)); }

void TPageControl::AddPage(TTabSheet& page) {
  pages_.push_back(&page);
  if (!active_) SetActivePage(&page);
}

void TPageControl::RemovePage(TTabSheet& page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), &page), pages_.end());
  page.pageControl_ = nullptr;
  if (active_ == &page) SetActivePage(pages_.empty() ? nullptr : pages_.front());
}

}  // namespace murmella::forms
