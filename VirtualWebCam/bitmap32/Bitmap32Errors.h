#pragma once
// Errors raised by the 32-bit bitmap and its transfers.
#include <stdexcept>
#include <string>

namespace murmella::bitmap32 {

class EBitmapException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A source rectangle reaching outside its bitmap.
class ESrcInvalidException : public EBitmapException {
public:
  using EBitmapException::EBitmapException;
};

// Pixel memory, its section or its drawing context could not be made.
class EBitmapAllocationException : public EBitmapException {
public:
  using EBitmapException::EBitmapException;
};

// A broken internal rule; assertions stay on in every build.
class EAssertionFailed : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

inline void Assert(bool condition, const char* message) {
  if (!condition) throw EAssertionFailed(message);
}

}  // namespace murmella::bitmap32
