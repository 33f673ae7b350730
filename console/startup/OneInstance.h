// TOneInstance makes a second copy of the program end by itself while the first runs on. The
// copies meet through a named mutex called after the program's file name, so a copy stored
// under another file name is another program.
#pragma once

#include "AppLink.h"
#include "Classes.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

namespace murmella::startup {

inline constexpr char kAnotherInstanceText[] =
    "Another instance of this application appears to be running. You must \r\n"
    "close any previous instances before continuing. ";
inline constexpr char kAnotherInstanceWarning[] = "Another instance of this application appears to be running!";
inline constexpr char kVerifyMutexFailed[] = "Unable to verify that Mutex already exists!";
inline constexpr char kCloseMutexFailed[] = "Unable to close Mutex!";

// "<step> An Exception was raised with the message : <message>", as the error boxes show it.
std::string MutexFailureText(const char* step, const std::string& message);

class TOneInstance : public forms::TComponent {
 public:
  // Fails with "OneInstance component duplicated in <owner>" when the owner already has one.
  TOneInstance(forms::TComponent* owner, std::unique_ptr<TAppLink> app, std::string name = {});
  ~TOneInstance() override;

  bool Terminate() const { return terminate_; }
  void SetTerminate(bool value) { terminate_ = value; }
  bool InformUser() const { return informUser_; }
  void SetInformUser(bool value) { informUser_ = value; }
  bool RaisePriorInstance() const { return raisePriorInstance_; }
  void SetRaisePriorInstance(bool value) { raisePriorInstance_ = value; }
  // Raised in a second copy when the earlier copy is found.
  forms::TNotifyEvent ApplicationExists;

  // The single-instance check.
  void Loaded() override;
  bool OwnsMutex() const { return owner_; }

  // The warning box shown when a second copy goes on (Terminate false, InformUser true): a
  // task-modal box no test could dismiss, so it can be replaced.
  using WarningBoxFn = void (*)(const std::string& text, const std::string& caption);
  static WarningBoxFn WarningBox;

 private:
  std::unique_ptr<TAppLink> app_;
  bool terminate_ = true;
  bool informUser_ = false;
  bool raisePriorInstance_ = false;
  std::string savedTitle_;
  // Owned only by the first copy; closed by hand at destruction so a failure can be shown.
  struct MutexHandle {
    HANDLE handle = nullptr;
    ~MutexHandle() {
      if (handle) CloseHandle(handle);
    }
    HANDLE Release() { return std::exchange(handle, nullptr); }
  } mutex_;
  bool owner_ = false;
  bool checked_ = false;  // the check runs once

  void AnotherCopyRuns();
  void BringPriorInstanceForward();
};

// The mutex name for the running program: its file name, extension included.
std::string InstanceMutexName();

}  // namespace murmella::startup
