#include "OneInstance.h"

#include "ProgramPath.h"
#include "StartupRules.h"
#include "TestAppLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace murmella::startup;
using murmella::forms::EMurmellaError;
using murmella::forms::TComponent;

namespace {

// What a copy started with kSecondCopyArg reports through its exit code. A racing copy waits
// for the start signal first, and keeps running a while after its check.
constexpr char kSecondCopyArg[] = "--as-second-copy";
constexpr char kRacingCopyArg[] = "--as-racing-copy";
constexpr char kStartSignal[] = "Murmella startup test: start";
constexpr DWORD kOwnsMutex = 10, kEndsItself = 20, kUndecided = 30;

// A copy of this program: its own TOneInstance, as MurmellaChat's main window has one.
int RunAsCopy(bool racing) {
  if (racing) {
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, kStartSignal);
    if (!start || WaitForSingleObject(start, 30000) != WAIT_OBJECT_0) return kUndecided;
    CloseHandle(start);
  }
  TestAppState app;
  TComponent form(nullptr, "Form1");
  auto* instance = new TOneInstance(&form, Link(app), "OneInstance1");
  instance->Loaded();
  const bool quit = TakeQuitRequest();
  if (racing) Sleep(1500);  // the others check while this copy still runs
  if (instance->OwnsMutex() && !quit && app.errorBoxes.empty()) return kOwnsMutex;
  if (!instance->OwnsMutex() && quit && app.errorBoxes.empty()) return kEndsItself;
  return kUndecided;
}

HANDLE Launch(const std::string& program, const char* arg) {
  std::string command = "\"" + program + "\" " + arg;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

DWORD ExitCodeOf(HANDLE process) {
  DWORD code = DWORD(-1);
  if (process && WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  if (process) CloseHandle(process);
  return code;
}

DWORD StartCopy(const std::string& program) { return ExitCodeOf(Launch(program, kSecondCopyArg)); }

bool MutexExists(const std::string& name) {
  HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (!h) return false;
  CloseHandle(h);
  return true;
}

std::vector<std::string> warnings;
void RecordWarning(const std::string& text, const std::string& caption) { warnings.push_back(caption + "|" + text); }

class OneInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TakeQuitRequest();
    warnings.clear();
    TOneInstance::WarningBox = RecordWarning;
  }
  TestAppState app;
  TComponent form{nullptr, "Form1"};
};

}  // namespace

TEST_F(OneInstanceTest, TheFirstCopyOwnsTheMutexAnotherProcessEndsItselfAndAnotherFileNameRuns) {
  const std::string name = InstanceMutexName();
  ASSERT_EQ(name, ProgramFileName(ProgramPath()));
  ASSERT_FALSE(MutexExists(name));
  {
    auto* first = new TOneInstance(&form, Link(app), "OneInstance1");
    EXPECT_TRUE(first->Terminate());
    EXPECT_FALSE(first->InformUser());
    EXPECT_FALSE(first->RaisePriorInstance());
    first->Loaded();
    EXPECT_TRUE(first->OwnsMutex());
    EXPECT_TRUE(MutexExists(name));
    EXPECT_FALSE(TakeQuitRequest());

    EXPECT_EQ(StartCopy(ProgramPath()), kEndsItself);

    // The same program under another file name is another program.
    const std::string renamed = ProgramPath() + ".renamed.exe";
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), renamed.c_str(), FALSE));
    EXPECT_EQ(StartCopy(renamed), kOwnsMutex);
    DeleteFileA(renamed.c_str());

    EXPECT_TRUE(first->OwnsMutex()) << "the first copy is untouched";
    EXPECT_TRUE(app.errorBoxes.empty());
    delete first;
  }
  EXPECT_FALSE(MutexExists(name)) << "closed with the component";
  EXPECT_EQ(StartCopy(ProgramPath()), kOwnsMutex);
}

TEST_F(OneInstanceTest, OfCopiesStartedAtTheSameMomentExactlyOneRuns) {
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, kStartSignal);
  ASSERT_TRUE(start);
  std::vector<HANDLE> copies;
  for (int i = 0; i < 4; ++i) copies.push_back(Launch(ProgramPath(), kRacingCopyArg));
  Sleep(500);  // all of them waiting at the signal
  SetEvent(start);
  std::vector<DWORD> codes;
  for (HANDLE copy : copies) codes.push_back(ExitCodeOf(copy));
  CloseHandle(start);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<DWORD>{kOwnsMutex, kEndsItself, kEndsItself, kEndsItself}));
}

TEST_F(OneInstanceTest, ASecondCopyTellsWhatItsSettingsAskAndQuitsOnlyWhenTerminating) {
  auto* first = new TOneInstance(&form, Link(app), "OneInstance1");
  first->Loaded();
  ASSERT_TRUE(first->OwnsMutex());
  const struct {
    bool terminate, inform;
    bool quits;
    std::vector<std::string> errorBoxes, warnings;
  } cases[] = {
      {true, false, true, {}, {}},
      {true, true, true, {kAnotherInstanceText}, {}},
      {false, true, false, {}, {"MurmellaChat|Another instance of this application appears to be running!"}},
      {false, false, false, {}, {}},
  };
  for (const auto& c : cases) {
    TestAppState second;
    warnings.clear();
    TComponent otherForm(nullptr, "Form1");
    auto* copy = new TOneInstance(&otherForm, Link(second), "OneInstance1");
    copy->SetTerminate(c.terminate);
    copy->SetInformUser(c.inform);
    int exists = 0;
    copy->ApplicationExists = [&](murmella::forms::TObject& sender) {
      EXPECT_EQ(&sender, copy);
      ++exists;
    };
    copy->Loaded();  // the same process opening the same name sees the mutex as another process would
    EXPECT_FALSE(copy->OwnsMutex());
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(TakeQuitRequest(), c.quits) << c.terminate << c.inform;
    EXPECT_EQ(second.errorBoxes, c.errorBoxes);
    EXPECT_EQ(warnings, c.warnings);
  }
  EXPECT_EQ(MutexFailureText(kCloseMutexFailed, "Access denied."),
            "Unable to close Mutex! An Exception was raised with the message : Access denied.");
  EXPECT_EQ(std::string(kAnotherInstanceText),
            "Another instance of this application appears to be running. You must \r\n"
            "close any previous instances before continuing. ");
  EXPECT_TRUE(first->OwnsMutex());
}

TEST_F(OneInstanceTest, ASecondComponentOnTheSameOwnerIsRefused) {
  new TOneInstance(&form, Link(app), "OneInstance1");
  try {
    new TOneInstance(&form, Link(app), "OneInstance2");
    FAIL() << "a second component was accepted";
  } catch (const EMurmellaError& e) {
    EXPECT_STREQ(e.what(), "OneInstance component duplicated in Form1");
  }
  EXPECT_EQ(form.Components().size(), 1u);
}

TEST_F(OneInstanceTest, ASecondCopyGoingAwayRaisesTheEarlierCopysWindowWhenAsked) {
  const char* title = "Murmella prior instance test";
  HWND prior = CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(prior);
  ShowWindow(prior, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(prior));
  auto* first = new TOneInstance(&form, Link(app), "OneInstance1");
  first->Loaded();

  for (bool raise : {false, true}) {
    TestAppState second;
    second.title = title;
    {
      TComponent otherForm(nullptr, "Form1");
      auto* copy = new TOneInstance(&otherForm, Link(second), "OneInstance1");
      copy->SetRaisePriorInstance(raise);
      copy->Loaded();
      TakeQuitRequest();
    }
    EXPECT_EQ(IsIconic(prior) == FALSE, raise);
    EXPECT_EQ(second.title, raise ? "" : title) << "a raising copy drops its own caption first";
  }
  DestroyWindow(prior);
}

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == kSecondCopyArg) return RunAsCopy(false);
  if (argc > 1 && std::string(argv[1]) == kRacingCopyArg) return RunAsCopy(true);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
