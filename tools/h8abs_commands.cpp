#include "h8abs_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/input_file.h"
#include "h8abs_make.h"
#include "load/sysrof_list.h"

namespace h8 {

namespace {

int runList(int argc, char** argv, Output& out, Output& err) {
  if (argc != 2) {
    err.puts(argc < 2 ? "h8abs: list: missing FILE.ABS\n" : "h8abs: list: too many arguments\n");
    return EXIT_USAGE;
  }
  if (const char* problem = inputFileProblem(argv[1])) {
    err.printf("h8abs: can't open %s: %s\n", argv[1], problem);
    return EXIT_FAILED;
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
    {"make", "INPUT", "convert a COFF, ELF, S-record or Intel HEX program to .ABS and .map",
     runMake},
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
      "Options of make (OUT.ABS and OUT.map default to INPUT's name with .abs and .map):\n"
      "  -o OUT.ABS       the SYSROF module to write\n"
      "  --map OUT.map    the map file to write, in the columns h8dbg -m reads\n"
      "  --symbols NM     the symbols from nm output (ADDRESS TYPE NAME lines) instead of the\n"
      "                   input's own: the way to name symbols of S-records and Intel HEX\n"
      "make refuses data outside the user flash 0x1000-0x7FFF and one address given two\n"
      "different bytes. make, and h8dbg's LO and -m taking these GNU files directly, are an\n"
      "extension: the board's original tools know SYSROF modules and map files only.\n"
      "\n"
      "Exit status: 0 done, 1 the file could not be read, ended abnormally or was refused,\n"
      "2 usage error.\n");
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
