// Assertions that stay on in every build and guards that keep C++ exceptions from crossing a
// COM boundary. A broken invariant in a filter loaded into somebody else's process must turn
// into a failure code at the nearest guard, never into a crash of the host.
#pragma once

#include <windows.h>

#include <new>
#include <stdexcept>

class EBCAssertion : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Sends one debug line naming the condition and throws EBCAssertion.
[[noreturn]] void BCAssertionFailed(const char* condition, const char* file, int line);

#define BCAssert(condition)                                                  \
  do {                                                                       \
    if (!(condition)) ::BCAssertionFailed(#condition, __FILE__, __LINE__);   \
  } while (0)

// Runs body (returning an HRESULT); an escaping exception becomes E_OUTOFMEMORY for a failed
// allocation and E_FAIL for anything else.
template <class Body>
HRESULT BCGuarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}
