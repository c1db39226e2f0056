/* The SMTP floor: the least a client can do to hand one message to one
   recipient over the round trips quillopro.exe makes for it: greeting,
   HELO, MAIL FROM, RCPT TO, DATA, the message and its end mark, then QUIT
   without waiting for the answer. A run of quillopro.exe that delivers
   costs at least this much, process start included.

   usage: smtp_floor HOST MESSAGE_BYTES
   Sends a message of MESSAGE_BYTES bytes (lines of 'x') to HOST port 25;
   the exit status is 0 when the server took it.

   It expects the benchmark's sink, whose replies are single lines. Built
   with cc -O2 -static, like the process floor. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

/* A reply line of the sink is a code and a word or two. */
#define REPLY_BYTES 512
#define SMTP_PORT 25
/* Message lines of 78 characters and CR LF, inside the 1000 that RFC 5321
   4.5.3.1.6 allows. */
#define LINE_BYTES 80

static int server = -1;

static int send_all(const char *bytes, size_t length) {
  while (length > 0) {
    const ssize_t sent = send(server, bytes, length, MSG_NOSIGNAL);
    if (sent <= 0) return 0;
    bytes += sent;
    length -= (size_t)sent;
  }
  return 1;
}

/* Reads one reply line and returns its code, or -1. */
static int read_reply(void) {
  char reply[REPLY_BYTES + 1];
  size_t used = 0;
  while (used < 2 || memcmp(reply + used - 2, "\r\n", 2) != 0) {
    if (used == REPLY_BYTES) return -1;
    const ssize_t got = recv(server, reply + used, REPLY_BYTES - used, 0);
    if (got <= 0) return -1;
    used += (size_t)got;
  }
  reply[used] = '\0';
  return atoi(reply);
}

static int command(const char *line, int expected) {
  return send_all(line, strlen(line)) && read_reply() == expected;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: smtp_floor HOST MESSAGE_BYTES\n");
    return 2;
  }
  const size_t size = strtoul(argv[2], NULL, 10);
  char *message = malloc(size + 1);
  struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(SMTP_PORT)};
  if (message == NULL || inet_pton(AF_INET, argv[1], &address.sin_addr) != 1) return 2;
  for (size_t i = 0; i < size; ++i) {
    const size_t column = i % LINE_BYTES;
    message[i] = column == LINE_BYTES - 2 ? '\r' : column == LINE_BYTES - 1 ? '\n' : 'x';
  }

  server = socket(AF_INET, SOCK_STREAM, 0);
  /* As quillopro.exe does: every write is whole, so Nagle would only hold
     back the end mark behind the message. */
  const int on = 1;
  setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (connect(server, (const struct sockaddr *)&address, sizeof address) != 0) return 1;
  const int delivered = read_reply() == 220 && command("HELO floor\r\n", 250) &&
                        command("MAIL FROM:<floor@example.com>\r\n", 250) &&
                        command("RCPT TO:<info@example.com>\r\n", 250) && command("DATA\r\n", 354) &&
                        send_all(message, size) && command("\r\n.\r\n", 250);
  send_all("QUIT\r\n", 6);
  close(server);
  return delivered ? 0 : 1;
}
