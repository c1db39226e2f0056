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
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  // Now and then wine fails a start with ERROR_INTERNAL_ERROR (seen once in
  // a few hundred starts under Apache): that start is tried again; any other
  // failure is reported at once.
  constexpr int kAttempts = 5;
  PROCESS_INFORMATION process{};
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string command_line = argv[2];  // CreateProcessA may write into it
    if (CreateProcessA(argv[1], command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR) break;
    Sleep(50);
  }
  if (error != ERROR_SUCCESS) {
    std::fprintf(stderr, "wine_launcher.exe: cannot start %s (error %lu)\n", argv[1], error);
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
