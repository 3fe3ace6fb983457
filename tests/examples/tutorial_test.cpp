// docs/tutorial.md replayed: its transcripts are typed to the built h8dbg on the built h8sim
// (`h8sim run` on a pseudo-terminal, as scripts/run.sh starts it, with the committed
// examples/hello files), and what the terminal shows must be the transcripts, line for line.
// And the examples' committed .abs and .map files are what their sources build to, where the GNU
// H8 toolchain is installed.
//
// In tutorial.md, the transcripts are the fenced blocks whose info string begins with `session`,
// read in order as one session: a line `>TEXT` is TEXT typed at h8dbg's prompt (and Enter),
// every other line is output; the first block begins with `$ scripts/run.sh`, the command that
// starts it. `session keys=xq after=TEXT` types x, then q, to the program that the block's
// command showing TEXT runs, each key once TEXT has shown one more time. A `build` block is
// `$ cd examples/hello && make` and make's output.
//
// Compared as a terminal shows it: carriage returns and backspaces move back over a line,
// escape sequences show nothing, blanks at the ends of lines do not count, and the number of the
// pseudo-terminal (/dev/pts/N in the banner) is whatever the system gave.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/child.h"

using h8test::Child;

namespace {

const std::string SOURCE = H8_SOURCE_DIR, BUILD = H8_BUILD_DIR;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The children run in SOURCE, with the same terminal and language everywhere and no make of ours
// above them.
void inSource() {
  setenv("TERM", "xterm", 1), setenv("LC_ALL", "C", 1), setenv("EDITRC", "/dev/null", 1);
  unsetenv("MAKEFLAGS"), unsetenv("MAKELEVEL"), unsetenv("MFLAGS");
  if (chdir(SOURCE.c_str()) != 0) _exit(126);
}

// Reads until h8dbg's prompt ends what came after `from`.
bool waitForPrompt(Child& session, size_t from) {
  return session.waitFor(
      [&] { return session.output.size() > from + 1 && session.output.ends_with("\n>"); });
}

// "/dev/pts/" and any number as "/dev/pts/N".
std::string anyPty(std::string text) {
  const std::string PTS = "/dev/pts/";
  for (size_t at = 0; (at = text.find(PTS, at)) != std::string::npos;) {
    at += PTS.size();
    size_t end = at;
    while (end < text.size() && isdigit((unsigned char)text[end])) end++;
    text.replace(at, end - at, "N");
  }
  return text;
}

// What a terminal shows for `raw`: the lines, each ended by '\n' but the last, without blanks at
// their ends.
std::string screen(const std::string& raw) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (size_t i = 0; i < raw.size(); i++) {
    char c = raw[i];
    std::string& line = lines.back();
    if (c == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {  // ESC [ parameters final
      for (i += 2; i < raw.size() && !(raw[i] >= 0x40 && raw[i] <= 0x7E);) i++;
    } else if (c == '\x1b') {
      i++;  // ESC and one character
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\r') {
      column = 0;
    } else if (c == '\b') {
      column -= column > 0;
    } else if ((unsigned char)c >= 0x20) {
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  std::string text;
  for (std::string& line : lines) {
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + (&line == &lines.back() ? "" : "\n");
  }
  return anyPty(text);
}

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = 0; !part.empty() && (at = text.find(part, at)) != std::string::npos; at++) n++;
  return n;
}

struct Step {
  std::string input;        // typed at the prompt, before Enter
  std::string output;       // what follows on the screen, up to the next prompt
  std::string keys, after;  // typed to the running program, each after one more `after`
};

struct Tutorial {
  std::string start;  // the shell command of the first block
  std::vector<Step> steps;
  std::string transcript;           // the blocks' lines but the start, each ended by '\n'
  std::vector<std::string> builds;  // each build block's lines, each ended by '\n'
};

Tutorial readTutorial(const std::string& path) {
  Tutorial t;
  std::istringstream in(readFile(path));
  std::string line, kind;
  std::string keys, after;  // the block's, for the first of its steps whose output shows `after`
  bool keyed = false;
  while (std::getline(in, line)) {
    if (kind.empty()) {
      if (!line.starts_with("```")) continue;
      std::istringstream info(line.substr(3));
      info >> kind;
      if (kind == "build") t.builds.emplace_back();
      if (kind != "session" && kind != "build") kind = "other";
      keys.clear(), after.clear();
      for (std::string word; info >> word;) {
        if (word.starts_with("keys=")) keys = word.substr(5);
        if (word.starts_with("after=")) after = word.substr(6);
      }
      keyed = false;
      continue;
    }
    if (line.starts_with("```")) {
      kind.clear();
      continue;
    }
    if (kind == "build") t.builds.back() += line + "\n";
    if (kind != "session") continue;
    if (t.transcript.empty() && t.start.empty() && line.starts_with("$ ")) {
      t.start = line.substr(2);
      continue;
    }
    t.transcript += line + "\n";
    if (line.starts_with(">")) {
      t.steps.push_back({line.substr(1), "", "", ""});
    } else if (!t.steps.empty()) {
      t.steps.back().output += line + "\n";
    }
    if (!keys.empty() && !keyed && !t.steps.empty() && occurrences(t.steps.back().output, after)) {
      keyed = true;
      t.steps.back().keys = keys, t.steps.back().after = after;
    }
  }
  return t;
}

TEST(Tutorial, TranscriptsAreWhatTheSessionShows) {
  Tutorial t = readTutorial(SOURCE + "/docs/tutorial.md");
  ASSERT_EQ(t.start, "scripts/run.sh");
  ASSERT_FALSE(t.steps.empty());
  EXPECT_EQ(t.steps.back().input, "Q");  // the session ends with the debugger
  // The command scripts/run.sh ends with when no options change the board's program.
  std::string script = readFile(SOURCE + "/scripts/run.sh");
  EXPECT_NE(script.find("example=(--load examples/hello/hello.abs)"), std::string::npos);
  EXPECT_NE(script.find("example_map=(-m examples/hello/hello.map)"), std::string::npos);
  Child session({BUILD + "/h8sim", "run", "--load", "examples/hello/hello.abs", "--", "-m",
                 "examples/hello/hello.map"},
                true, inSource);
  ASSERT_TRUE(waitForPrompt(session, 0)) << screen(session.output);
  for (const Step& step : t.steps) {
    size_t from = session.output.size();
    session.type(step.input + "\r");
    for (size_t k = 0; k < step.keys.size(); k++) {
      ASSERT_TRUE(session.waitFor([&] {
        return occurrences(screen(session.output.substr(from)), step.after) > k;
      })) << screen(session.output);
      session.type(step.keys.substr(k, 1));
    }
    if (&step != &t.steps.back()) {
      ASSERT_TRUE(waitForPrompt(session, from)) << screen(session.output);
    }
  }
  EXPECT_EQ(session.finish(), 0);
  EXPECT_EQ(screen(session.output), anyPty(t.transcript));
}

bool haveToolchain() {
  Child which({"sh", "-c", "command -v h8300-hms-gcc >/dev/null"}, false, inSource);
  return which.finish(60) == 0;
}

TEST(Examples, CommittedFilesAreWhatTheSourcesBuildTo) {
  if (!haveToolchain()) GTEST_SKIP() << "h8300-hms-gcc not found";
  std::vector<std::string> builds = readTutorial(SOURCE + "/docs/tutorial.md").builds;
  ASSERT_EQ(builds.size(), 1u);
  const std::string COMMAND = "$ cd examples/hello && make\n";
  ASSERT_TRUE(builds[0].starts_with(COMMAND)) << builds[0];
  for (std::string name : {"hello", "blink"}) {
    std::string out = BUILD + "/tests/examples/" + name, example = SOURCE + "/examples/" + name;
    std::filesystem::remove_all(out);
    Child make({"make", "--no-print-directory", "-f", example + "/Makefile", "OUT=" + out,
                "H8ABS=" + BUILD + "/h8abs"},
               false, inSource);
    EXPECT_EQ(make.finish(120), 0) << make.output;
    if (name == "hello") {
      EXPECT_EQ(make.output, builds[0].substr(COMMAND.size()));
    }
    for (std::string file : {name + ".abs", name + ".map"}) {
      EXPECT_TRUE(readFile(out + "/" + file) == readFile(example + "/" + file))
          << file << " differs";
    }
  }
}

TEST(Examples, BlinkRunsStandalone) {
  Child blink({BUILD + "/h8sim", "exec", "--limit", "100000000", "examples/blink/blink.abs"}, false,
              inSource);
  EXPECT_EQ(blink.finish(60), 0);
  EXPECT_EQ(blink.output, "*.*.*.*.*.\n");
}

}  // namespace
