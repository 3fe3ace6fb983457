#include "h8abs_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "load/sysrof_list.h"

namespace h8 {

namespace {

int runList(int argc, char** argv, Output& out, Output& err) {
  if (argc != 2) {
    err.puts(argc < 2 ? "h8abs: list: missing FILE.ABS\n" : "h8abs: list: too many arguments\n");
    return EXIT_USAGE;
  }
  FILE* file = fopen(argv[1], "rb");
  if (file == nullptr) {
    err.printf("h8abs: can't open %s: %s\n", argv[1], strerror(errno));
    return EXIT_FAILED;
  }
  int complete = listSysrofStream(file, out);
  fclose(file);
  return complete ? EXIT_DONE : EXIT_FAILED;
}

constexpr AbsCommand commands[] = {
    {"list", "FILE.ABS", "list the records of a SYSROF absolute load module", runList},
};
static_assert(std::size(commands) >= 1);

}  // namespace

void printH8absUsage(Output& o) {
  o.puts(
      "Usage: h8abs COMMAND [ARGUMENTS]\n"
      "Tools for SYSROF absolute load modules (*.ABS), the files the LO command of h8dbg "
      "downloads.\n"
      "\n"
      "Commands:\n");
  for (const AbsCommand& c : commands)
    o.printf("  %-5s %-10s %s\n", c.name, c.arguments, c.summary);
  o.puts(
      "\n"
      "Options:\n"
      "  -h, --help       show this text\n"
      "\n"
      "Exit status: 0 done, 1 the file could not be read or ended abnormally, 2 usage error.\n");
}

int runH8abs(int argc, char** argv, Output& out, Output& err) {
  if (argc < 2) {
    printH8absUsage(err);
    return EXIT_USAGE;
  }
  const char* word = argv[1];
  if (strcmp(word, "-h") == 0 || strcmp(word, "--help") == 0 || strcmp(word, "help") == 0) {
    printH8absUsage(out);
    return EXIT_DONE;
  }
  for (const AbsCommand& c : commands) {
    if (strcmp(word, c.name) == 0) return c.run(argc - 1, argv + 1, out, err);
  }
  err.printf("h8abs: unknown command '%s' (try h8abs --help)\n", word);
  return EXIT_USAGE;
}

}  // namespace h8
