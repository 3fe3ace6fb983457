// h8sim: a simulated H8/3664 board on a pseudo-terminal (see h8sim --help and docs/h8sim.md).
#include <cstdio>
#include <string>
#include <vector>

#include "common/output.h"
#include "common/version.h"
#include "sim/exec.h"
#include "sim/options.h"
#include "sim/session.h"

int main(int argc, char** argv) {
  h8::FileOutput out(stdout);
  h8::FileOutput err(stderr);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "exec") {
    return h8::runExec(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  }
  h8::SimOptions options;
  std::string error;
  if (!h8::parseOptions(args, options, error)) {
    err.printf("h8sim: %s (h8sim --help for usage)\n", error.c_str());
    return 2;
  }
  if (options.help) {
    h8::printUsage(out);
    return 0;
  }
  if (options.version) {
    out.printf("h8sim %s\n", h8::VERSION_TEXT);
    return 0;
  }
  return h8::runSimulator(options, out, err);
}
