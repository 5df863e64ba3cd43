#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  // Wine buffers a console program's output when it goes to a pipe; unbuffered output keeps
  // the failure messages of a crashing test.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
