/* The process floor: the least a CGI program can do for a post, which is
   to start, answer with a fixed page and exit. Whatever quillopro.exe costs
   beyond this is its own work; the rest is the system's price of a process.

   Built with cc -O2 -static, so that no dynamic loader counts against it. */
#include <unistd.h>

int main(void) {
  static const char answer[] = "Content-Type: text/html\r\n\r\n<p>ok</p>\r\n";
  const ssize_t length = (ssize_t)(sizeof answer - 1);
  return write(STDOUT_FILENO, answer, sizeof answer - 1) == length ? 0 : 1;
}
