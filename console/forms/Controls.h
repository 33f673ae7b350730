// Framework windows. Every window the framework creates has one window procedure: the object
// is kept with the window (GWLP_USERDATA, set at WM_NCCREATE for the framework's own classes,
// right after creation for the platform's controls, which are subclassed), and each class
// handles its messages in one virtual WndProc. What escapes a WndProc is caught there and
// goes to Application().HandleException; nothing unwinds through the platform.
#pragma once

#include "Classes.h"
#include "GraphicsWin.h"
#include "Handles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace murmella::forms {

// How a window is made: a class of the platform's (subclassed after creation) or one of the
// framework's own (registered on first use with `ClassStyle`).
struct TWindowParams {
  const char* ClassName = nullptr;
  bool SystemClass = false;
  UINT ClassStyle = 0;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  HWND Parent = nullptr;  // parent or owner window; HWND_MESSAGE for a message-only window
  std::string Text;
};

// One window and its procedure, for framework windows that are not controls (the timer's and
// the tray icon's hidden windows). Derive, override WndProc, call CreateHandle.
class TWindow {
 public:
  TWindow() = default;
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  HWND Handle() const { return handle_.get(); }
  // A control of the platform's whose procedure this object has taken over.
  bool Subclassed() const { return systemProc_ != nullptr; }

 protected:
  // Creates the window; throws EMurmellaError when the platform refuses. Messages sent during
  // creation reach the WndProc of the class whose constructor is running.
  void CreateHandle(const TWindowParams& params);
  void DestroyHandle();
  virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The platform's handling: the control's own procedure for a subclassed control,
  // DefWindowProc for the framework's classes.
  LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK FrameworkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  unique_hwnd handle_;
  WNDPROC systemProc_ = nullptr;
};

enum class TAlign { alNone, alTop, alClient };

// A component with a window: position, visibility, text, colour and font, children laid out
// by their Align, WM_COMMAND and colour requests of child controls routed to the child.
// The window is created in the constructor, so every setter acts on it at once.
class TWinControl : public TComponent, public TWindow {
 public:
  ~TWinControl() override;

  TWinControl* Parent() const { return parent_; }
  std::span<TWinControl* const> Controls() const { return children_; }

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  // Relative to the parent's client area (the screen for a top-level window).
  virtual void SetBounds(int left, int top, int width, int height);
  RECT ClientRect() const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  bool Visible() const;
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  bool Enabled() const;
  void SetEnabled(bool enabled);

  std::string Text() const;
  void SetText(const std::string& text);

  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // A control takes its parent's font until it is given its own.
  const TFont& Font() const { return font_; }
  void SetFont(const TFontData& font);
  bool ParentFont() const { return parentFont_; }

  void Invalidate();

 protected:
  TWinControl(TComponent* owner, TWinControl* parent, TWindowParams params, std::string name);
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // A notification this control sent to its parent as WM_COMMAND.
  virtual void CommandNotify(WORD code) {}
  // The brush behind a child control's text (WM_CTLCOLORSTATIC and WM_CTLCOLORBTN).
  HBRUSH BackgroundBrush();
  virtual void FontChanged();
  // Lays the aligned children out in the client area, in creation order.
  void Realign();

 private:
  void ApplyFont(const TFontData& font, bool own);
  TWinControl* FindChild(HWND window) const;

  TWinControl* parent_;
  std::vector<TWinControl*> children_;  // creation order: tab order and alignment order
  TAlign align_ = TAlign::alNone;
  TColor color_ = clBtnFace;
  TFont font_;
  bool parentFont_ = true;
  unique_hbrush brush_;
};

}  // namespace murmella::forms
