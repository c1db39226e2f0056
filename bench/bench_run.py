"""Times complete runs of the built quillopro.exe: one recipient, QUILLO_SERVER
on loopback, a sink SMTP server that answers every command at once. Prints
the median, the 10th and 90th percentile and the slowest run.

Run it through bench/run.sh, which gives it a private resolver configuration
(the program looks up the recipient domain's MX records on every run)."""

import os
import socket
import statistics
import subprocess
import sys
import threading
import time
from urllib.parse import urlencode

SINK_HOST = "127.0.0.90"
RUNS = int(os.environ.get("QUILLO_BENCH_RUNS", "200"))

REPLIES = {b"HELO": b"250 sink\r\n", b"MAIL": b"250 ok\r\n", b"RCPT": b"250 ok\r\n",
           b"DATA": b"354 go on\r\n", b"QUIT": b"221 bye\r\n"}


def serve_one(conn):
    with conn:
        conn.sendall(b"220 sink ready\r\n")
        buffer, in_data = b"", False
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                return
            buffer += chunk
            while True:
                if in_data:
                    end = buffer.find(b"\r\n.\r\n")
                    if end < 0:
                        break
                    buffer, in_data = buffer[end + 5:], False
                    conn.sendall(b"250 queued\r\n")
                    continue
                line_end = buffer.find(b"\r\n")
                if line_end < 0:
                    break
                line, buffer = buffer[:line_end], buffer[line_end + 2:]
                verb = line[:4].upper()
                conn.sendall(REPLIES.get(verb, b"500 what\r\n"))
                if verb == b"DATA":
                    in_data = True
                    buffer = b"\r\n" + buffer  # the end mark may follow at once
                elif verb == b"QUIT":
                    return


def sink():
    server = socket.create_server((SINK_HOST, 25))
    server.listen(16)

    def accept_loop():
        while True:
            conn, _ = server.accept()
            threading.Thread(target=serve_one, args=(conn,), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()


def main(program):
    site = os.path.dirname(os.path.abspath(program))
    for name, text in (("ok.htm", "<p>Thanks ##Name##</p>\n"), ("err.htm", "<p>Sorry</p>\n")):
        with open(os.path.join(site, name), "w") as f:
            f.write(text)
    body = urlencode([("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", SINK_HOST),
                      ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
                      ("Name", "Bench"), ("Comment", "A few lines\r\nof text\r\n" * 10)]).encode()
    env = {"CONTENT_LENGTH": str(len(body)), "REQUEST_METHOD": "POST", "SERVER_NAME": "",
           "SCRIPT_NAME": "/cgi-bin/quillopro.exe", "REMOTE_ADDR": "127.0.0.1"}
    sink()
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        out = subprocess.run([program], input=body, env=env, cwd=site, capture_output=True).stdout
        times.append((time.perf_counter() - start) * 1000)
        if b"Thanks Bench" not in out:
            sys.exit("run did not succeed: %r" % out[:200])
    times.sort()
    print("quillopro.exe, one recipient to a loopback SMTP sink, %d runs" % RUNS)
    print("median %.2f ms, p10 %.2f ms, p90 %.2f ms, slowest %.2f ms (target: median under 10 ms)"
          % (statistics.median(times), times[len(times) // 10], times[len(times) * 9 // 10], times[-1]))


if __name__ == "__main__":
    main(sys.argv[1])
