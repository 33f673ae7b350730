#include "ovcstate.h"

#include "ProgramPath.h"
#include "RegistryKey.h"
#include "StartupRules.h"
#include "StateTestForm.h"
#include "TestAppLink.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace murmella::startup;

namespace {

constexpr char kParams[] = "Murmellachat\\params";

void DeleteTree(HKEY root, const char* path) { RegDeleteTreeA(root, path), RegDeleteKeyA(root, path); }

void Put(const std::string& name, DWORD type, const std::string& data) {
  RegKey k = RegKey::Create(HKEY_CURRENT_USER, kParams, KEY_ALL_ACCESS);
  ASSERT_TRUE(k);
  ASSERT_EQ(RegSetValueExA(k.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           DWORD(data.size())),
            ERROR_SUCCESS);
}
void PutText(const std::string& name, const std::string& text) { Put(name, REG_SZ, text + '\0'); }

// Every value of the params key: name -> (type, data without the terminator).
std::map<std::string, std::pair<DWORD, std::string>> Stored() {
  std::map<std::string, std::pair<DWORD, std::string>> values;
  RegKey k = RegKey::Open(HKEY_CURRENT_USER, kParams, KEY_READ);
  if (!k) return values;
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[1024];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(k.Get(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    std::string text(reinterpret_cast<char*>(data), dataSize);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    values[std::string(name, nameSize)] = {type, text};
  }
  return values;
}

std::string StoredText(const std::string& name) {
  const auto values = Stored();
  const auto it = values.find(name);
  return it == values.end() ? "<none>" : it->second.second;
}

// The main window's state and store, created and set as its construction does.
struct Console {
  explicit Console(std::vector<std::string> lines = kConsoleLines, bool load = true) {
    state = new TOvcComponentState(form, Link(app), "OvcComponentState1");
    store = new TOvcRegistryStore(&form, "OvcRegistryStore1");
    state->SetSection("params");
    state->SetStorage(store);
    state->SetStoredProperties(std::move(lines));
    store->SetKeyName("Murmellachat");
    if (load) form.LoadedAll();
  }
  TestAppState app;
  TestForm form;
  TOvcComponentState* state;
  TOvcRegistryStore* store;
};

struct Options {
  bool chpopup, chstartup, disconnect;
  int index;
  bool dureeEnabled;
  bool operator==(const Options&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Options& o) {
  return os << o.chpopup << o.chstartup << o.disconnect << ' ' << o.index << ' ' << o.dureeEnabled;
}
Options Read(const TestForm& f) {
  return {f.chpopup->Checked(), f.chstartup->Checked(), f.disconnect->Checked(), f.duree->ItemIndex(),
          f.duree->Enabled()};
}
constexpr Options kInitial{true, true, true, 0, true};

class StateTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteTree(HKEY_CURRENT_USER, "Murmellachat"); }
  void TearDown() override { DeleteTree(HKEY_CURRENT_USER, "Murmellachat"); }
};

}  // namespace

TEST_F(StateTest, FirstRunKeepsTheInitialStatesCreatesTheKeyAndAUserCloseWritesFiveStrings) {
  Console c;
  std::vector<std::string> order;
  c.form.OnCreate = [&, own = std::move(c.form.OnCreate)](TObject& s) {
    order.push_back("create");
    own(s);
  };
  c.state->OnRestoreState = [&](TObject&) {
    order.push_back("restored " + murmella::forms::BoolToText(c.state->Restored()));
  };
  c.state->OnSaveState = [&](TObject&) { order.push_back("saved"); };
  c.form.Create();
  EXPECT_EQ(Read(c.form), kInitial);
  EXPECT_TRUE(RegKey::Open(HKEY_CURRENT_USER, "Murmellachat", KEY_READ)) << "made by the restore's open";
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(c.store->OpenCount(), 0);

  c.form.duree->SetItemIndex(10);
  c.form.chstartup->SetChecked(false);
  c.form.UserClose();
  EXPECT_TRUE(c.state->Saved());
  const std::map<std::string, std::pair<DWORD, std::string>> expected = {
      {"chpopup.Checked", {REG_SZ, "True"}},    {"chstartup.Checked", {REG_SZ, "False"}},
      {"disconnect.Checked", {REG_SZ, "True"}}, {"duree.ItemIndex", {REG_SZ, "10"}},
      {"duree.Enabled", {REG_SZ, "True"}},
  };
  EXPECT_EQ(Stored(), expected);
  EXPECT_EQ(order, (std::vector<std::string>{"create", "restored True", "saved"}));
  EXPECT_TRUE(c.app.errorBoxes.empty());
}

TEST_F(StateTest, StoredTextsRestoreWhatTheyCanAndLeaveTheRestAsItWas) {
  const struct {
    const char* name;
    std::string text;
    Options expected;
  } cases[] = {
      {"chpopup.Checked", "False", {false, true, true, 0, true}},
      {"chpopup.Checked", "false", {false, true, true, 0, true}},
      {"chpopup.Checked", "FALSE", {false, true, true, 0, true}},
      {"chstartup.Checked", " fAlSe\r\n", {true, false, true, 0, true}},
      {"chstartup.Checked", "TRUE", kInitial},
      {"chpopup.Checked", "0", kInitial},
      {"chpopup.Checked", "no", kInitial},
      {"chpopup.Checked", "", kInitial},
      {"chpopup.Checked", "Falsch", kInitial},
      {"duree.ItemIndex", "3", {true, true, true, 3, true}},
      {"duree.ItemIndex", " 10 ", {true, true, true, 10, true}},
      {"duree.ItemIndex", "+4", {true, true, true, 4, true}},
      {"duree.ItemIndex", "11", kInitial},  // out of range: keeps "5"
      {"duree.ItemIndex", "99", kInitial},
      {"duree.ItemIndex", "-1", kInitial},
      {"duree.ItemIndex", "abc", kInitial},  // not a number: keeps "5"
      {"duree.ItemIndex", "", kInitial},
      {"duree.ItemIndex", "2147483648", kInitial},
      {"duree.Enabled", "False", {true, true, true, 0, false}},
      // The click rule runs when Checked changes; the list's own value comes two lines later.
      {"disconnect.Checked", "False", {true, true, false, 0, false}},
  };
  for (const auto& c : cases) {
    DeleteTree(HKEY_CURRENT_USER, "Murmellachat");
    PutText(c.name, c.text);
    Console console;
    console.form.Create();
    EXPECT_EQ(Read(console.form), c.expected) << c.name << " = \"" << c.text << '"';
    EXPECT_TRUE(console.app.errorBoxes.empty());
  }
}

TEST_F(StateTest, UntickedDisconnectWithAnEnabledListStaysSoAndExpandStringsAreReadAsStored) {
  PutText("disconnect.Checked", "False");
  PutText("duree.Enabled", "True");
  Put("chpopup.Checked", REG_EXPAND_SZ, std::string("false\0", 6));
  Put("chstartup.Checked", REG_EXPAND_SZ, std::string("%FALSE%\0", 8));  // not expanded, so no Boolean
  Console c;
  c.form.Create();
  EXPECT_EQ(Read(c.form), (Options{false, true, false, 0, true}));
}

TEST_F(StateTest, AValueOfAnotherTypeIsSkippedSilentlyAndTheNextLineStillRestores) {
  const DWORD zero = 0;
  Put("chpopup.Checked", REG_DWORD, std::string(reinterpret_cast<const char*>(&zero), sizeof zero));
  Put("chstartup.Checked", REG_BINARY, "False");
  Put("disconnect.Checked", REG_MULTI_SZ, std::string("False\0\0", 7));
  PutText("duree.ItemIndex", "7");
  Console c;
  c.form.Create();
  EXPECT_EQ(Read(c.form), (Options{true, true, true, 7, true}));
  EXPECT_TRUE(c.app.errorBoxes.empty());
  EXPECT_TRUE(c.state->Restored());
}

TEST_F(StateTest, ASetterThatClearsInsteadOfRefusingIsPutBack) {
  // "Selection" hands the index to the list as the platform takes it: an item it lacks clears it.
  for (const char* text : {"11", "500"}) {
    DeleteTree(HKEY_CURRENT_USER, "Murmellachat");
    PutText("duree.Selection", text);
    Console c({"duree.Selection"});
    c.form.duree->SetItemIndex(2);
    c.form.Create();
    EXPECT_EQ(c.form.duree->ItemIndex(), 2) << text;
  }
  PutText("duree.Selection", "6");
  Console c({"duree.Selection"});
  c.form.Create();
  EXPECT_EQ(c.form.duree->ItemIndex(), 6);
}

TEST_F(StateTest, EndingAfterACloseStillSavesTheLaterChange) {
  {
    Console c;
    c.form.Create();
    c.form.UserClose();  // saved: chpopup True
    EXPECT_EQ(StoredText("chpopup.Checked"), "True");
    c.form.chpopup->SetChecked(false);
    c.form.UserClose();  // a second close stores the later state
    EXPECT_EQ(StoredText("chpopup.Checked"), "False");
    c.form.chpopup->SetChecked(true);
    c.form.duree->SetItemIndex(8);
    // "Close Murmellachat": no close query, then the window is destroyed.
  }
  EXPECT_EQ(StoredText("chpopup.Checked"), "True");
  EXPECT_EQ(StoredText("duree.ItemIndex"), "8");
  Console next;
  next.form.Create();
  EXPECT_EQ(Read(next.form), (Options{true, true, true, 8, true}));
}

TEST_F(StateTest, AFailedCreateRestoresNothingAndSavesNothing) {
  PutText("chpopup.Checked", "False");
  PutText("duree.ItemIndex", "5");
  {
    Console c(kConsoleLines, false);
    c.form.OnCreate = [](TObject&) { throw murmella::forms::EMurmellaError("navigation failed"); };
    c.form.LoadedAll();
    EXPECT_THROW(c.form.Create(), murmella::forms::EMurmellaError);
    EXPECT_FALSE(c.state->Restored());
    EXPECT_EQ(Read(c.form), kInitial);
    c.form.UserClose();
    EXPECT_FALSE(c.state->Saved());
  }
  EXPECT_EQ(StoredText("chpopup.Checked"), "False");
  EXPECT_EQ(StoredText("duree.ItemIndex"), "5");
  EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(StateTest, AnInactiveStateNeitherRestoresNorSaves) {
  PutText("chpopup.Checked", "False");
  {
    Console c(kConsoleLines, false);
    c.state->SetActive(false);
    c.form.LoadedAll();
    c.form.Create();
    EXPECT_TRUE(Read(c.form).chpopup);
    c.form.UserClose();
  }
  EXPECT_EQ(Stored().size(), 1u);
}

TEST_F(StateTest, TheListResolvesComponentsWithoutCaseAndStoresUnderDeclaredNames) {
  Console c({"chpopup.Checked", "nodot", ".Checked", "chpopup.", "missing.Checked", " DUREE . itemindex ",
             "chpopup.NoSuchProperty", "Form1.Checked"});
  EXPECT_EQ(c.state->StoredProperties(),
            (std::vector<std::string>{"chpopup.Checked", " DUREE . itemindex ", "chpopup.NoSuchProperty"}));
  PutText("duree.ItemIndex", "4");
  c.form.Create();
  EXPECT_EQ(c.form.duree->ItemIndex(), 4);
  c.form.UserClose();
  const auto values = Stored();
  EXPECT_EQ(values.size(), 2u);
  EXPECT_EQ(values.count("chpopup.Checked"), 1u);
  EXPECT_EQ(values.count("duree.ItemIndex"), 1u);
  // A component freed later takes its line with it.
  delete c.form.duree;
  c.form.duree = nullptr;
  EXPECT_EQ(c.state->StoredProperties(), (std::vector<std::string>{"chpopup.Checked", "chpopup.NoSuchProperty"}));
  c.form.duree = new TestComboBox(&c.form, "duree", c.form.window);  // the form's destructor reads it no more
}

TEST_F(StateTest, AFailedSaveStopsAtItsValueIsShownAndTheCloseGoesOn) {
  // The registry refuses a key name longer than 255 characters and a value name of 16384.
  const std::string longSection(300, 's');
  const std::string longName(16384, 'c');
  const struct {
    std::string section;
    std::string shown;
    std::vector<std::string> written;
  } cases[] = {
      {longSection, RegCreateFailedText("Murmellachat\\" + longSection), {}},
      {"params", RegSetDataFailedText(longName + ".Checked"), {"chpopup.Checked"}},
  };
  for (const auto& c : cases) {
    DeleteTree(HKEY_CURRENT_USER, "Murmellachat");
    Console console({"chpopup.Checked", longName + ".Checked", "chstartup.Checked"}, false);
    new TestCheckBox(&console.form, longName.c_str(), console.form.window);
    console.state->SetSection(c.section);
    console.form.LoadedAll();
    console.form.Create();
    bool closeAllowed = true;
    console.form.OnCloseQuery(console.form, closeAllowed);
    EXPECT_TRUE(closeAllowed);
    EXPECT_EQ(console.app.errorBoxes, std::vector<std::string>{c.shown});
    EXPECT_FALSE(console.state->Saved());
    EXPECT_EQ(console.store->OpenCount(), 0) << "closed also when the save fails";
    std::vector<std::string> written;
    for (const auto& [name, value] : Stored()) written.push_back(name);
    EXPECT_EQ(written, c.written);
  }
}

TEST(RegistryStore, OpensNestKeyNamesLoseBackslashesAndAnEmptyNameIsTheProgramsKey) {
  TOvcRegistryStore store(nullptr);
  store.SetKeyName("\\Murmellachat test\\");
  EXPECT_EQ(store.KeyName(), "Murmellachat test");
  store.Open();
  store.Open();
  EXPECT_EQ(store.OpenCount(), 2);
  store.WriteString("s", "v", "text");
  store.Close();
  EXPECT_EQ(store.ReadString("s", "v", "fallback"), "text") << "still open after the inner close";
  EXPECT_EQ(store.ReadString("s", "missing", "fallback"), "fallback");
  EXPECT_EQ(store.ReadString("no section", "v", "fallback"), "fallback");
  store.Close();
  store.Close();  // one too many does nothing
  EXPECT_EQ(store.OpenCount(), 0);
  DeleteTree(HKEY_CURRENT_USER, "Murmellachat test");

  TOvcRegistryStore unnamed(nullptr);
  const std::string own = "Software\\" + ProgramBaseName(ProgramPath());
  EXPECT_EQ(unnamed.EffectiveKeyName(), own);
  unnamed.WriteString("s", "v", "x");
  EXPECT_TRUE(RegKey::Open(HKEY_CURRENT_USER, own + "\\s", KEY_READ));
  DeleteTree(HKEY_CURRENT_USER, own.c_str());
}

TEST(RegistryStore, RegistryErrorsCarryTheFrameworksFrenchTextsInCodePage1252) {
  EXPECT_EQ(RegSetDataFailedText("chpopup.Checked"),
            "Echec \xE0 la d\xE9" "finition des donn\xE9" "es pour 'chpopup.Checked'");
  // One byte per accented letter: the escapes did not swallow the letters after them.
  EXPECT_EQ(RegSetDataFailedText("x").size(), std::string("Echec a la definition des donnees pour 'x'").size());
}
