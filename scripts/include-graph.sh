#!/usr/bin/env bash
# The include graph between the CGI program's folders: one line an edge,
# "from -> to (count)", from the #include lines of cgi/. With
# --check LAYERS, also fails on an edge the layer map does not allow: each
# folder may include its own files and those of the layers its line in
# LAYERS names (cgi/CMakeLists.txt writes it, from each layer's DEPENDS, to
# cgi/layers.txt in the build folder). cgi/main.cpp stands above them all.
set -euo pipefail
cd "$(dirname "$0")/../cgi"

edges=$(grep -H '^#include "' */*.h */*.cpp |
  sed -E 's|^([a-z]+)/[^:]*:#include "([a-z]+)/.*|\1 \2|' |
  awk '$1 != $2' | sort | uniq -c | awk '{print $2 " -> " $3 " (" $1 ")"}')
echo "$edges"

if [ "${1:-}" = "--check" ]; then
  layers=${2:?usage: include-graph.sh --check BUILD/cgi/layers.txt}
  declare -A allowed=()
  while IFS=: read -r layer below; do
    case "$layer" in ''|'#'*) continue ;; esac
    allowed[$layer]=$below
  done < "$layers"
  status=0
  for folder in */; do
    folder=${folder%/}
    [ -n "${allowed[$folder]+set}" ] || { echo "not a layer in $layers: $folder" >&2; status=1; }
  done
  while read -r from _ to _; do
    [ -z "$from" ] && continue
    case " ${allowed[$from]-} " in
      *" $to "*) ;;
      *) echo "not allowed: $from includes $to" >&2; status=1 ;;
    esac
  done <<< "$edges"
  exit $status
fi
