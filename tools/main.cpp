// h8abs: SYSROF file tools (see h8abs_commands.h).
#include <cstdio>

#include "h8abs_commands.h"

int main(int argc, char** argv) {
  h8::FileOutput out(stdout);
  h8::FileOutput err(stderr);
  int status = h8::runH8abs(argc, argv, out, err);
  fflush(stdout);
  return status;
}
