// Runs the build's programs with redirected standard handles.
#pragma once

#include <windows.h>

#include <string>

namespace h8test {

// Runs `program` (a path from <build>/tests, where the test programs are) with `args`, its
// standard input a pipe holding `input` and then closed. Returns what it printed on standard
// output and error, then "[status N]" with its exit status.
inline std::string runProcess(const std::string& program, const std::string& args,
                              const std::string& input = "") {
  char self[MAX_PATH];
  std::string command(self, GetModuleFileNameA(nullptr, self, MAX_PATH)), output;
  command = "\"" + command.substr(0, command.find_last_of('\\') + 1) + program + "\" " + args;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  HANDLE inWrite, outRead;
  DWORD n = 0;
  CreatePipe(&si.hStdInput, &inWrite, &inherit, 0);
  WriteFile(inWrite, input.data(), DWORD(input.size()), &n, nullptr);  // small: the pipe holds it
  CloseHandle(inWrite);
  CreatePipe(&outRead, &si.hStdOutput, &inherit, 0);  // the end of output once the child ends
  si.hStdError = si.hStdOutput;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi))
    return "cannot start " + command;
  CloseHandle(si.hStdInput);
  CloseHandle(si.hStdOutput);
  char chunk[4096];
  while (ReadFile(outRead, chunk, sizeof chunk, &n, nullptr) && n > 0) output.append(chunk, n);
  WaitForSingleObject(pi.hProcess, INFINITE);
  GetExitCodeProcess(pi.hProcess, &n);
  for (HANDLE h : {outRead, pi.hProcess, pi.hThread}) CloseHandle(h);
  return output + "[status " + std::to_string(n) + "]";
}

}  // namespace h8test
