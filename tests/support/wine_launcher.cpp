// Starts a Windows program under a command line of the caller's choice and
// passes on its exit status, for tests under wine: wine itself always gives
// a program the path it was started from as its first word, while a web
// server on Windows may name it otherwise, such as by its short 8.3 name
// (QUILLO~1.EXE). The program inherits the launcher's standard handles and
// environment.
//
//   wine_launcher.exe PROGRAM COMMAND-LINE
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wine_launcher.exe PROGRAM COMMAND-LINE\n");
    return 2;
  }
  std::string command_line = argv[2];  // CreateProcessA may write into it
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(argv[1], command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "wine_launcher.exe: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
