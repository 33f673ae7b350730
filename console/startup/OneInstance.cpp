#include "OneInstance.h"

#include "ProgramPath.h"
#include "RegistryKey.h"
#include "StartupRules.h"

namespace murmella::startup {

namespace {

void RealWarningBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}

void RestoreAndRaise(HWND window) {
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  BringWindowToTop(window);
}

}  // namespace

TOneInstance::WarningBoxFn TOneInstance::WarningBox = RealWarningBox;

std::string MutexFailureText(const char* step, const std::string& message) {
  return std::string(step) + " An Exception was raised " + "with the message : " + message;
}

std::string InstanceMutexName() { return ProgramFileName(ProgramPath()); }

TOneInstance::TOneInstance(forms::TComponent* owner, std::unique_ptr<TAppLink> app, std::string name)
    : TComponent(owner, std::move(name)), app_(std::move(app)) {
  if (!app_) throw forms::EMurmellaError("TOneInstance needs the application");
  if (owner)
    for (forms::TComponent* c : owner->Components())
      if (c != this && dynamic_cast<TOneInstance*>(c))
        throw forms::EMurmellaError("OneInstance component duplicated in " + owner->Name());
}

TOneInstance::~TOneInstance() {
  if (owner_) {
    if (!CloseHandle(mutex_.Release()))
      app_->ShowErrorBox(MutexFailureText(kCloseMutexFailed, SystemErrorText(GetLastError())));
  } else if (raisePriorInstance_ && !savedTitle_.empty()) {
    BringPriorInstanceForward();
  }
}

void TOneInstance::Loaded() {
  if (std::exchange(checked_, true)) return;
  savedTitle_ = app_->Title();
  std::string name;
  try {
    name = InstanceMutexName();
  } catch (const std::exception& e) {
    // No answer whether another copy runs: taken as one, so two copies never both run.
    app_->ShowErrorBox(MutexFailureText(kVerifyMutexFailed, e.what()));
    AnotherCopyRuns();
    return;
  }
  // Creating first and asking whether it already existed is one step in the system, so of two
  // copies started at the same moment exactly one owns the mutex.
  SetLastError(ERROR_SUCCESS);
  MutexHandle created{CreateMutexA(nullptr, FALSE, name.c_str())};
  const DWORD error = GetLastError();
  if (created.handle && error == ERROR_ALREADY_EXISTS) {
    AnotherCopyRuns();  // the earlier copy's mutex; this handle goes at once
  } else if (created.handle) {
    mutex_.handle = created.Release();
    owner_ = true;
  } else if (error == ERROR_ACCESS_DENIED) {
    // A mutex of that name held where this copy may not open it: another copy runs.
    AnotherCopyRuns();
  }
  // Any other failure to create it is not reported: this copy runs without owning it.
}

void TOneInstance::AnotherCopyRuns() {
  owner_ = false;
  if (ApplicationExists) ApplicationExists(*this);
  if (terminate_) {
    if (informUser_) app_->ShowErrorBox(kAnotherInstanceText);
    app_->Terminate();
  } else if (informUser_) {
    WarningBox(kAnotherInstanceWarning, app_->Title());
  }
}

void TOneInstance::BringPriorInstanceForward() {
  // Without its caption this copy's own application window cannot be the one found.
  app_->SetTitle("");
  HWND window = FindWindowA(nullptr, savedTitle_.c_str());
  if (!window) return;
  HWND popup = GetLastActivePopup(window);
  RestoreAndRaise(window);
  if (popup) {
    RestoreAndRaise(popup);
    SetForegroundWindow(popup);
  }
}

}  // namespace murmella::startup
