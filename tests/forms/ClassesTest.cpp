// Components: settings in declaration order, references resolved after all exist, the
// after-load step, free notification, and the text forms the state store reaches.
#include "Classes.h"
#include "ErrorText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace murmella::forms {
namespace {

using TLog = std::vector<std::string>;

// A component with one setting and one reference to another component, as the console's
// popup refers to its image list.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::string name, TLog& log) : TComponent(owner, std::move(name)), log_(log) {}
  ~TProbe() override { log_.push_back("free " + Name()); }

  void SetValue(int v) {
    value_ = v;
    log_.push_back("set " + Name());
  }
  int Value() const { return value_; }
  bool Flag() const { return flag_; }
  void SetFlag(bool f) { flag_ = f; }

  TProbe* Ref() const { return ref_; }
  void SetRef(TProbe* other) {
    if (ref_) ref_->RemoveFreeNotification(*this);
    ref_ = other;
    if (ref_) ref_->FreeNotification(*this);
    log_.push_back("ref " + Name() + "->" + (other ? other->Name() : "none"));
  }

  void Loaded() override { log_.push_back("loaded " + Name() + (ref_ ? " with " + ref_->Name() : "")); }

  std::span<const TPublishedProperty> Published() const override {
    static const TPublishedProperty table[] = {BoolProperty<TProbe>("Flag", &TProbe::Flag, &TProbe::SetFlag),
                                               IntProperty<TProbe>("Value", &TProbe::Value, &TProbe::SetValue)};
    return table;
  }

 protected:
  void Notification(TComponent& freed) override {
    if (&freed == ref_) {
      ref_ = nullptr;
      log_.push_back("cleared " + Name());
    }
  }

 private:
  TLog& log_;
  int value_ = 0;
  bool flag_ = false;
  TProbe* ref_ = nullptr;
};

TEST(Components, SettingsInOrderReferencesAfterAllThenLoaded) {
  TLog log;
  {
    TComponent form(nullptr, "Form1");
    // The way a window's constructor lays it out: create and set each, then references, then
    // the after-load steps.
    auto* images = new TProbe(&form, "ImageList1", log);
    images->SetValue(1);
    auto* popup = new TProbe(&form, "pop2", log);
    popup->SetValue(2);
    auto* menu = new TProbe(&form, "PopupMenu1", log);
    menu->SetValue(3);
    popup->SetRef(images);
    images->SetRef(menu);  // to one created later
    form.LoadedAll();
    EXPECT_EQ(form.FindComponent("POP2"), popup);
    EXPECT_EQ(form.FindComponent("imagelist1"), images);
    EXPECT_EQ(form.FindComponent("pop"), nullptr);
    EXPECT_EQ(form.FindComponent(""), nullptr);
  }
  const TLog expected{"set ImageList1", "set pop2", "set PopupMenu1", "ref pop2->ImageList1",
                      "ref ImageList1->PopupMenu1", "loaded ImageList1 with PopupMenu1", "loaded pop2 with ImageList1",
                      "loaded PopupMenu1",
                      // Newest first; each freed component clears the references to it.
                      "free PopupMenu1", "cleared ImageList1", "free pop2", "free ImageList1"};
  EXPECT_EQ(log, expected);
}

TEST(Components, FreeNotificationClearsAndForgetsBothWays) {
  TLog log;
  TComponent form(nullptr, "Form1");
  auto* a = new TProbe(&form, "a", log);
  auto* b = new TProbe(&form, "b", log);
  auto* user = new TProbe(&form, "user", log);

  // Moving the reference from a to b: a no longer tells user, and user no longer tells a.
  user->SetRef(a);
  user->SetRef(b);
  delete a;  // must not reach user
  EXPECT_EQ(user->Ref(), b);
  delete b;
  EXPECT_EQ(user->Ref(), nullptr);

  // The referring component goes first: the referenced one must not tell it later.
  auto* c = new TProbe(&form, "c", log);
  auto* user2 = new TProbe(&form, "user2", log);
  user2->SetRef(c);
  delete user2;
  log.clear();
  delete c;
  EXPECT_EQ(log, TLog{"free c"});
  EXPECT_EQ(form.Components().size(), 1u);
  delete user;
  EXPECT_TRUE(form.Components().empty());
}

TEST(Components, PublishedPropertiesByNameAndText) {
  TLog log;
  TProbe p(nullptr, "duree", log);
  const TPublishedProperty* value = FindPublished(p, "VALUE");
  const TPublishedProperty* flag = FindPublished(p, "flag");
  ASSERT_NE(value, nullptr);
  ASSERT_NE(flag, nullptr);
  EXPECT_EQ(FindPublished(p, "Value2"), nullptr);

  struct Case {
    const char* Text;
    bool Flag;  // from false
    int Value;  // from 7
  };
  const Case cases[] = {
      {"True", true, 0},       {"TRUE", true, 0},      {"false", false, 0},  {"tRuE", true, 0},
      {"1", false, 1},         {"-12", false, -12},    {"+3", false, 3},     {"10", false, 10},
      {"", false, 0},          {"yes", false, 0},      {"1.5", false, 0},    {"0x10", false, 0},
      {"-", false, 0},         {"2147483647", false, 2147483647},            {"-2147483648", false, -2147483647 - 1},
      {"2147483648", false, 0}, {"99999999999999999999", false, 0},          {" 5", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    p.SetFlag(false);
    p.SetValue(7);
    flag->Set(p, c.Text);
    value->Set(p, c.Text);
    EXPECT_EQ(p.Flag(), c.Flag);
    EXPECT_EQ(p.Value(), c.Value);
    EXPECT_EQ(flag->Get(p), c.Flag ? "True" : "False");
    EXPECT_EQ(value->Get(p), std::to_string(c.Value));
  }
  // Text that is neither Boolean name leaves the property as it was.
  p.SetFlag(true);
  flag->Set(p, "Truee");
  EXPECT_TRUE(p.Flag());
}

TEST(ErrorBox, FullStopWhenTheLastCharacterSortsAfterIt) {
  struct Case {
    std::string Text, Shown;
  };
  const Case cases[] = {
      {"", ""},
      {"Failed", "Failed."},
      {"Failed.", "Failed."},
      {"Failed!", "Failed!"},
      {"Failed ", "Failed "},
      {"(x)", "(x)"},
      {"a-", "a-"},                // '-' is 0x2D, before the full stop
      {"a/", "a/."},               // '/' is 0x2F, after it
      {"code 404", "code 404."},
      {"x:", "x:."},
      {"line\r\n", "line\r\n"},
      {"caf\xE9", "caf\xE9."},     // 8-bit characters sort after it too
      {std::string("a\0", 2), std::string("a\0", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ErrorBoxText(c.Text), c.Shown);
  }
}

TEST(ErrorBox, FatalTextNamesClassModuleAndAddress) {
  const std::string hex = sizeof(std::uintptr_t) == 8 ? "00000000004A5F2C" : "004A5F2C";
  EXPECT_EQ(FatalErrorText("EOSError", "MurmellaChat.exe", 0x4A5F2C, "Access denied"),
            "Exception EOSError dans le module MurmellaChat.exe \xE0 " + hex + ".\r\nAccess denied.\r\n");
  EXPECT_EQ(FatalErrorText("E", "m.exe", 0, "Done."), "Exception E dans le module m.exe \xE0 " +
                                                          std::string(sizeof(std::uintptr_t) * 2, '0') +
                                                          ".\r\nDone.\r\n");
}

}  // namespace
}  // namespace murmella::forms
