#!/usr/bin/env bash
# The main job as a demo (Debian 12, as root): installs what is missing,
# builds, then sends one form from a real browser through the CGI program to
# an SMTP server on this machine, and prints what each side saw.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 >/dev/null
exec /usr/bin/python3 scripts/demo.py build
