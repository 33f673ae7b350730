#include "ovcstore.h"

namespace murmella::startup {

void TOvcAbstractStore::Open() {
  if (openCount_ == 0) DoOpen();
  ++openCount_;
}

void TOvcAbstractStore::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0) DoClose();
}

}  // namespace murmella::startup
