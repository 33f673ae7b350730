// What the start-up components ask of the application object: its title, the quit request
// and the standard error box. They hold this narrow link rather than the application itself,
// so a test can run them with a real message queue and see the texts a box would show.
#pragma once

#include <memory>
#include <string>

namespace murmella::startup {

class TAppLink {
 public:
  virtual ~TAppLink() = default;
  virtual std::string Title() const = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Posts the quit request to this thread's queue; the message loop ends when it takes it.
  virtual void Terminate() = 0;
  // The standard error box (error icon, OK, the title as caption, the full-stop rule).
  virtual void ShowErrorBox(const std::string& text) = 0;
};

// A link to any application object with Title(), SetTitle(), Terminate() and ShowErrorBox(),
// such as murmella::forms::TApplication: LinkTo(Application()).
template <class App>
std::unique_ptr<TAppLink> LinkTo(App& app) {
  class Link final : public TAppLink {
   public:
    explicit Link(App& a) : app_(a) {}
    std::string Title() const override { return app_.Title(); }
    void SetTitle(const std::string& title) override { app_.SetTitle(title); }
    void Terminate() override { app_.Terminate(); }
    void ShowErrorBox(const std::string& text) override { app_.ShowErrorBox(text); }

   private:
    App& app_;
  };
  return std::make_unique<Link>(app);
}

}  // namespace murmella::startup
