// A Windows program that does nothing until it is ended, for tests under
// wine: while one Windows process lives, wine keeps its system processes
// running, and a program starts in a fraction of a second instead of the
// seconds a cold start takes.
#include <windows.h>

int main() {
  Sleep(INFINITE);
  return 0;
}
