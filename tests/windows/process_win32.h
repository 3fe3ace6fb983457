// Runs a program of the build with redirected standard handles and collects what it printed.
#pragma once

#include <windows.h>

#include <string>

namespace h8test {

struct ProcessResult {
  bool started = false;
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error, as the bytes arrived
};

// The build directory as a Windows path: the tests live in its "tests" folder.
inline std::string buildDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  for (int up = 0; up < 2; up++) {
    size_t slash = p.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    p.erase(slash);
  }
  return p;
}

// A file in the temporary folder holding `bytes`; returns its path.
inline std::string writeTempFile(const char* name, const std::string& bytes) {
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir, n) + name;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return path;
}

// Starts `commandLine`; its standard input is `input` through a pipe (closed after the bytes,
// so the program then sees the end of input), or the file `inputFile` when one is named.
inline ProcessResult runProcess(const std::string& commandLine, const std::string& input,
                                const std::string& inputFile = "") {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outRead, outWrite, inRead, inWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  if (inputFile.empty()) {
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) return result;
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  } else {
    inRead = CreateFileA(inputFile.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                         0, nullptr);
    if (inRead == INVALID_HANDLE_VALUE) return result;
  }

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = outWrite;
  si.hStdError = outWrite;
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  result.started =
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(outWrite);
  CloseHandle(inRead);
  if (inWrite) {
    DWORD written = 0;
    if (result.started && !input.empty())
      WriteFile(inWrite, input.data(), DWORD(input.size()), &written, nullptr);
    CloseHandle(inWrite);
  }
  if (!result.started) {
    CloseHandle(outRead);
    return result;
  }
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(outRead, chunk, sizeof chunk, &got, nullptr) && got > 0)
    result.output.append(chunk, got);
  CloseHandle(outRead);
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  GetExitCodeProcess(pi.hProcess, &result.exitCode);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return result;
}

}  // namespace h8test
