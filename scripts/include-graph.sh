#!/usr/bin/env bash
# The include graph between the CGI program's folders: one line an edge,
# "from -> to (count)", from the #include lines of cgi/. With --check, also
# fails on an edge the layering does not allow: each folder may include its
# own files and those of the folders listed for it below, nothing above.
set -euo pipefail
cd "$(dirname "$0")/../cgi"

declare -A allowed=(
  [core]=""
  [platform]="core"
  [documents]="core"
  [content]="core documents"
  [smtp]="core platform"
  [delivery]="core smtp platform"
  [settings]="core documents delivery smtp"
  [response]="core documents content"
  [request]="core documents content settings response delivery smtp platform"
)

edges=$(grep -H '^#include "' */*.h */*.cpp |
  sed -E 's|^([a-z]+)/[^:]*:#include "([a-z]+)/.*|\1 \2|' |
  awk '$1 != $2' | sort | uniq -c | awk '{print $2 " -> " $3 " (" $1 ")"}')
echo "$edges"

if [ "${1:-}" = "--check" ]; then
  status=0
  while read -r from _ to _; do
    [ -z "$from" ] && continue
    case " ${allowed[$from]-} " in
      *" $to "*) ;;
      *) echo "not allowed: $from includes $to" >&2; status=1 ;;
    esac
  done <<< "$edges"
  exit $status
fi
