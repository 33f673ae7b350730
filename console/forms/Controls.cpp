#include "Controls.h"

#include "Application.h"

#include <algorithm>

namespace murmella::forms {

namespace {

// The framework's window classes are registered once per process, on first use; the class
// itself remembers that it exists, so no flag of ours is needed.
void RegisterFrameworkClass(const char* name, UINT style, WNDPROC proc) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance, name, &existing)) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EMurmellaError(std::string("Cannot register window class ") + name, "EOutOfResources");
}

}  // namespace

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::CreateHandle(const TWindowParams& p) {
  if (!p.SystemClass) RegisterFrameworkClass(p.ClassName, p.ClassStyle, &FrameworkWndProc);
  HWND h = CreateWindowExA(p.ExStyle, p.ClassName, p.Text.c_str(), p.Style, p.Left, p.Top, p.Width, p.Height,
                           p.Parent, nullptr, GetModuleHandleA(nullptr), p.SystemClass ? nullptr : this);
  if (!h) throw EMurmellaError(std::string("Cannot create a window of class ") + p.ClassName, "EOutOfResources");
  if (p.SystemClass) {
    handle_.reset(h);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    systemProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc)));
  }
}

void TWindow::DestroyHandle() {
  // WM_NCDESTROY lets the handle go; whatever arrives after that finds no object.
  if (HWND h = handle_.get()) DestroyWindow(h);
  handle_.release();
}

LRESULT TWindow::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultHandler(message, wParam, lParam);
}

LRESULT TWindow::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND h = handle_.get();
  return systemProc_ ? CallWindowProcA(systemProc_, h, message, wParam, lParam)
                     : DefWindowProcA(h, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::FrameworkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCCREATE && !self) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    if (self) {
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->handle_.reset(window);
    }
  }
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window is going; the object stays and forgets it.
    const LRESULT r = self->DefaultHandler(message, wParam, lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (self->systemProc_) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->systemProc_));
    self->handle_.release();
    self->systemProc_ = nullptr;
    return r;
  }
  LRESULT result = 0;
  CallGuarded([&] { result = self->WndProc(message, wParam, lParam); });
  return result;
}

TWinControl::TWinControl(TComponent* owner, TWinControl* parent, TWindowParams params, std::string name)
    : TComponent(owner, std::move(name)), parent_(parent) {
  if (parent_) {
    params.Parent = parent_->Handle();
    params.Style |= WS_CHILD;
    color_ = parent_->color_;
    font_ = parent_->font_;
  }
  CreateHandle(params);
  if (parent_) parent_->children_.push_back(this);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
}

TWinControl::~TWinControl() {
  for (TWinControl* child : children_) child->parent_ = nullptr;
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  DestroyHandle();
}

namespace {

RECT RectInParent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  if (HWND parent = GetAncestor(window, GA_PARENT); parent && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

int TWinControl::Left() const { return RectInParent(Handle()).left; }
int TWinControl::Top() const { return RectInParent(Handle()).top; }
int TWinControl::Width() const {
  const RECT r = RectInParent(Handle());
  return r.right - r.left;
}
int TWinControl::Height() const {
  const RECT r = RectInParent(Handle());
  return r.bottom - r.top;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TWinControl::ClientRect() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return r;
}

void TWinControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_) parent_->Realign();
}

void TWinControl::Realign() {
  RECT area = ClientRect();
  for (TWinControl* c : children_) {
    if (c->align_ == TAlign::alTop) {
      const int h = c->Height();
      c->SetBounds(area.left, area.top, area.right - area.left, h);
      area.top += h;
    }
  }
  for (TWinControl* c : children_)
    if (c->align_ == TAlign::alClient)
      c->SetBounds(area.left, area.top, area.right - area.left, std::max(0L, area.bottom - area.top));
}

bool TWinControl::Visible() const { return (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void TWinControl::SetVisible(bool visible) {
  if (visible == Visible()) return;
  ShowWindow(Handle(), visible ? SW_SHOW : SW_HIDE);
}

bool TWinControl::Enabled() const { return IsWindowEnabled(Handle()) != FALSE; }
void TWinControl::SetEnabled(bool enabled) { EnableWindow(Handle(), enabled ? TRUE : FALSE); }

std::string TWinControl::Text() const {
  const int n = GetWindowTextLengthA(Handle());
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  s.resize(static_cast<std::size_t>(GetWindowTextA(Handle(), s.data(), n + 1)));
  return s;
}

void TWinControl::SetText(const std::string& text) { SetWindowTextA(Handle(), text.c_str()); }

void TWinControl::SetColor(TColor color) {
  color_ = color;
  brush_.reset();
  Invalidate();
}

HBRUSH TWinControl::BackgroundBrush() {
  if (!brush_) brush_.reset(CreateSolidBrush(ColorToRGB(color_)));
  return brush_.get();
}

void TWinControl::SetFont(const TFontData& font) { ApplyFont(font, true); }

void TWinControl::ApplyFont(const TFontData& font, bool own) {
  if (own) parentFont_ = false;
  font_.Assign(font);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
  FontChanged();
  for (TWinControl* c : children_)
    if (c->parentFont_) c->ApplyFont(font, false);
}

void TWinControl::FontChanged() {}

void TWinControl::Invalidate() { InvalidateRect(Handle(), nullptr, TRUE); }

TWinControl* TWinControl::FindChild(HWND window) const {
  for (TWinControl* c : children_)
    if (c->Handle() == window) return c;
  return nullptr;
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam)
        if (TWinControl* child = FindChild(reinterpret_cast<HWND>(lParam))) {
          child->CommandNotify(HIWORD(wParam));
          return 0;
        }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (TWinControl* child = FindChild(reinterpret_cast<HWND>(lParam))) {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ColorToRGB(child->font_.Color()));
        return reinterpret_cast<LRESULT>(child->BackgroundBrush());
      }
      break;
    case WM_ERASEBKGND: {
      if (Subclassed()) break;
      RECT r = ClientRect();
      TCanvas(reinterpret_cast<HDC>(wParam)).FillRect(r, color_);
      return 1;
    }
    case WM_SIZE:
      Realign();
      break;
  }
  return DefaultHandler(message, wParam, lParam);
}

}  // namespace murmella::forms
