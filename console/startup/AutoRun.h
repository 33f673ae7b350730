// TAutoRun keeps the program in a registry key of programs the system starts at logon. Every
// setter does its registry work at once; destruction leaves the registry as it is.
#pragma once

#include "Classes.h"

#include <string>

namespace murmella::startup {

enum class TKeyReg { RUN, RUNSERVICES, RUNONCE };

// Where the last write of the value went. A standard user cannot write the machine-wide key,
// so the value then goes to the same key of the current user; both failing leaves None.
enum class TAutoRunPlace { None, Machine, User };

// "Software\Microsoft\Windows\CurrentVersion\Run" and its two siblings.
const char* RunKeyPath(TKeyReg key);

class TAutoRun : public forms::TComponent {
 public:
  explicit TAutoRun(forms::TComponent* owner, std::string name = {});

  TKeyReg Key() const { return key_; }
  bool Active() const { return active_; }
  const std::string& Title() const { return title_; }
  TAutoRunPlace Place() const { return place_; }

  // True writes the value (again, also when it was already true); false deletes it from the
  // three keys of both hives (again, also when it was already false).
  void SetActive(bool value);
  // While active, moves the value to the new name or key; otherwise only records it.
  void SetTitle(const std::string& title);
  void SetKey(TKeyReg key);

 private:
  TKeyReg key_ = TKeyReg::RUN;
  bool active_ = false;
  std::string title_ = "My program";
  TAutoRunPlace place_ = TAutoRunPlace::None;

  void Write(TKeyReg key, const std::string& title);
};

// The value name deleted from every run key of both hives; a value or key that is not there
// is no error.
void RemoveAutoRunValue(const std::string& title);

}  // namespace murmella::startup
