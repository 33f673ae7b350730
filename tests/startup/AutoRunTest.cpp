#include "AutoRun.h"

#include "ProgramPath.h"
#include "RegistryKey.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace murmella::startup;
using murmella::forms::TComponent;

namespace {

constexpr TKeyReg kKeys[] = {TKeyReg::RUN, TKeyReg::RUNSERVICES, TKeyReg::RUNONCE};
const HKEY kHives[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

struct StoredValue {
  DWORD type;
  std::string data;
};

std::optional<StoredValue> ReadValue(HKEY hive, TKeyReg key, const std::string& name) {
  RegKey k = RegKey::Open(hive, RunKeyPath(key), KEY_READ);
  if (!k) return std::nullopt;
  char buffer[2048];
  DWORD type = 0, size = sizeof buffer;
  if (RegQueryValueExA(k.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return StoredValue{type, std::string(buffer, size && buffer[size - 1] == '\0' ? size - 1 : size)};
}

void PutValue(HKEY hive, TKeyReg key, const std::string& name, const std::string& data) {
  RegKey k = RegKey::Create(hive, RunKeyPath(key), KEY_ALL_ACCESS);
  ASSERT_TRUE(k);
  ASSERT_EQ(RegSetValueExA(k.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           DWORD(data.size() + 1)),
            ERROR_SUCCESS);
}

// Every place of the six that holds `name`, as "HKLM RUN", "HKCU RUNONCE", ...
std::vector<std::string> PlacesHolding(const std::string& name) {
  std::vector<std::string> places;
  for (HKEY hive : kHives)
    for (TKeyReg key : kKeys)
      if (ReadValue(hive, key, name))
        places.push_back(std::string(hive == HKEY_LOCAL_MACHINE ? "HKLM " : "HKCU ") +
                         (key == TKeyReg::RUN ? "RUN" : key == TKeyReg::RUNSERVICES ? "RUNSERVICES" : "RUNONCE"));
  return places;
}

std::string Expected() { return "\"" + ProgramPath() + "\""; }

// Takes a machine-wide run key away for a test, so the machine-wide write fails at the
// registry the way it does without rights, and puts it back with its values afterwards.
class MachineKeyAway {
 public:
  explicit MachineKeyAway(TKeyReg key) : path_(RunKeyPath(key)) {
    if (RegKey k = RegKey::Open(HKEY_LOCAL_MACHINE, path_, KEY_READ)) {
      existed_ = true;
      char name[512];
      BYTE data[4096];
      for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(k.Get(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        values_.push_back({std::string(name, nameSize), type, std::string(reinterpret_cast<char*>(data), dataSize)});
      }
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
  }
  ~MachineKeyAway() {
    if (!existed_) return;
    RegKey k = RegKey::Create(HKEY_LOCAL_MACHINE, path_, KEY_ALL_ACCESS);
    for (const auto& v : values_)
      RegSetValueExA(k.Get(), v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                     DWORD(v.data.size()));
  }
  bool Gone() const { return !RegKey::Open(HKEY_LOCAL_MACHINE, path_, KEY_READ); }

 private:
  struct Value {
    std::string name;
    DWORD type;
    std::string data;
  };
  std::string path_;
  bool existed_ = false;
  std::vector<Value> values_;
};

class AutoRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"My program", "MurMellachatRun", "Other title"}) RemoveAutoRunValue(name);
    // The machine-wide RUNSERVICES key is not always present; these tests start with all three.
    for (TKeyReg key : kKeys) RegKey::Create(HKEY_LOCAL_MACHINE, RunKeyPath(key), KEY_ALL_ACCESS);
  }
  void TearDown() override {
    for (const char* name : {"My program", "MurMellachatRun", "Other title"}) RemoveAutoRunValue(name);
  }
  // What the main window does while it is constructed: Key, Active, Title in that order.
  static void ApplyStoredSettings(TAutoRun& run) {
    run.SetKey(TKeyReg::RUN);
    run.SetActive(true);
    run.SetTitle("MurMellachatRun");
  }
  TComponent form{nullptr, "Form1"};
};

}  // namespace

TEST_F(AutoRunTest, EveryStartWritesTheQuotedPathUnderItsTitleAndLeavesNoMyProgram) {
  PutValue(HKEY_LOCAL_MACHINE, TKeyReg::RUN, "MurMellachatRun", "C:\\old\\place.exe");  // an earlier install
  for (int start = 0; start < 2; ++start) {
    TAutoRun run(&form, "AutoRun1");
    ASSERT_EQ(run.Title(), "My program");
    ASSERT_FALSE(run.Active());
    ApplyStoredSettings(run);
    const auto value = ReadValue(HKEY_LOCAL_MACHINE, TKeyReg::RUN, "MurMellachatRun");
    ASSERT_TRUE(value) << "start " << start;
    EXPECT_EQ(value->type, DWORD(REG_SZ));
    EXPECT_EQ(value->data, Expected());
    EXPECT_EQ(value->data.front(), '"');
    EXPECT_EQ(PlacesHolding("MurMellachatRun"), std::vector<std::string>{"HKLM RUN"});
    EXPECT_TRUE(PlacesHolding("My program").empty());
    EXPECT_EQ(run.Place(), TAutoRunPlace::Machine);
    // Destruction leaves the entry for the next logon.
  }
  EXPECT_EQ(PlacesHolding("MurMellachatRun"), std::vector<std::string>{"HKLM RUN"});
}

TEST_F(AutoRunTest, InactiveRemovesTheValueFromAllThreeKeysOfBothHivesAndRepeatsDoTheirWorkAgain) {
  TAutoRun run(&form, "AutoRun1");
  ApplyStoredSettings(run);
  for (HKEY hive : kHives)
    for (TKeyReg key : kKeys) PutValue(hive, key, "MurMellachatRun", "stale");
  PutValue(HKEY_LOCAL_MACHINE, TKeyReg::RUN, "Other title", "kept");
  run.SetActive(false);  // an unticked close
  EXPECT_TRUE(PlacesHolding("MurMellachatRun").empty());
  EXPECT_EQ(PlacesHolding("Other title"), std::vector<std::string>{"HKLM RUN"});
  EXPECT_EQ(run.Place(), TAutoRunPlace::None);

  PutValue(HKEY_CURRENT_USER, TKeyReg::RUNONCE, "MurMellachatRun", "again");
  run.SetActive(false);  // false again deletes again
  EXPECT_TRUE(PlacesHolding("MurMellachatRun").empty());

  run.SetActive(true);  // a ticked close writes it back
  PutValue(HKEY_LOCAL_MACHINE, TKeyReg::RUN, "MurMellachatRun", "tampered");
  run.SetActive(true);  // true again rewrites
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, TKeyReg::RUN, "MurMellachatRun")->data, Expected());
}

TEST_F(AutoRunTest, KeyAndTitleMoveTheValueOnlyWhileActive) {
  TAutoRun run(&form, "AutoRun1");
  run.SetKey(TKeyReg::RUNONCE);  // inactive: only recorded
  run.SetTitle("Other title");
  EXPECT_TRUE(PlacesHolding("Other title").empty());
  EXPECT_TRUE(PlacesHolding("My program").empty());
  run.SetActive(true);
  EXPECT_EQ(PlacesHolding("Other title"), std::vector<std::string>{"HKLM RUNONCE"});
  run.SetKey(TKeyReg::RUNSERVICES);
  EXPECT_EQ(PlacesHolding("Other title"), std::vector<std::string>{"HKLM RUNSERVICES"});
  run.SetTitle("MurMellachatRun");
  EXPECT_TRUE(PlacesHolding("Other title").empty());
  EXPECT_EQ(PlacesHolding("MurMellachatRun"), std::vector<std::string>{"HKLM RUNSERVICES"});
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, TKeyReg::RUNSERVICES, "MurMellachatRun")->data, Expected());
}

TEST_F(AutoRunTest, WithoutTheMachineKeyTheUsersKeyTakesTheValueAndStartUpGoesOn) {
  {
    MachineKeyAway away(TKeyReg::RUN);
    ASSERT_TRUE(away.Gone());
    TAutoRun run(&form, "AutoRun1");
    ASSERT_NO_THROW(ApplyStoredSettings(run));
    EXPECT_EQ(run.Place(), TAutoRunPlace::User);
    const auto value = ReadValue(HKEY_CURRENT_USER, TKeyReg::RUN, "MurMellachatRun");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, DWORD(REG_SZ));
    EXPECT_EQ(value->data, Expected());
    EXPECT_EQ(PlacesHolding("MurMellachatRun"), std::vector<std::string>{"HKCU RUN"});
    EXPECT_TRUE(PlacesHolding("My program").empty());
    EXPECT_TRUE(away.Gone()) << "the machine-wide key is opened, never created";
    run.SetActive(false);
    EXPECT_TRUE(PlacesHolding("MurMellachatRun").empty());
    run.SetActive(true);
  }
  // Once the machine-wide key takes it, the user's copy goes, so logon starts one copy only.
  EXPECT_EQ(PlacesHolding("MurMellachatRun"), std::vector<std::string>{"HKCU RUN"});
  TAutoRun run(&form, "AutoRun1");
  ApplyStoredSettings(run);
  EXPECT_EQ(run.Place(), TAutoRunPlace::Machine);
  EXPECT_EQ(PlacesHolding("MurMellachatRun"), std::vector<std::string>{"HKLM RUN"});
}
