// The host lives in the UI thread's single-threaded apartment, with OLE for in-place activation.
#include <gtest/gtest.h>
#include <ole2.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(OleInitialize(nullptr))) return 3;
  const int rc = RUN_ALL_TESTS();
  OleUninitialize();
  return rc;
}
