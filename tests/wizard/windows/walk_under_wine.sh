#!/usr/bin/env bash
# quillogen.exe under wine: walks all six pages with the scripted steps of
# walk.steps (typing, Next with refused entries, Back, Finish and the real
# Save As dialog), compares the whole transcript with walk.transcript, and
# checks that the form Finish wrote has the same bytes as quillogen.exe
# --batch and, when a Linux build is given, as its quillogen --batch for the
# same entries.
#
#   walk_under_wine.sh WINDOWS_BUILD [LINUX_BUILD]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
windows_build=$(cd "$1" && pwd)
linux_build=${2:+$(cd "$2" && pwd)}
exe="$windows_build/wizard/quillogen.exe"

source "$here/../../../scripts/wine-desktop.sh"
wine_session_start
work="$WINE_SESSION_DIR/walk"
mkdir -p "$work"
dir=$(wine_path "$work")

# The same entries as the steps, for the batch mode.
entries=(--url http://www.example.com/cgi-bin/quillo/quillopro.exe --to "sales@example.com, info@example.com"
  --server mail.example.com --subject "Order ##Product##" --priority high --strip-empty --template email.txt
  --success thanks.htm --error error.htm --required required.htm --email-verify --misc)

status=0
sed "s|@DIR@|${dir//\\/\\\\}|g" "$here/walk.steps" >"$work/walk.steps"
QUILLOGEN_TEST_STEPS="$dir\\walk.steps" QUILLOGEN_TEST_TRANSCRIPT="$dir\\transcript" \
  timeout 120 "${wine_desktop[@]}" "$exe"
sed "s|@DIR@|${dir//\\/\\\\}|g" "$here/walk.transcript" >"$work/expected"
if ! diff -u "$work/expected" "$work/transcript"; then
  echo "FAIL: the transcript of the walk differs (- expected, + seen)"
  status=1
fi

timeout 60 wine "$exe" --batch "${entries[@]}" -o "$dir\\windows-batch.htm"
compare=("$work/windows-batch.htm")
if [ -n "$linux_build" ]; then
  "$linux_build/wizard/quillogen" --batch "${entries[@]}" -o "$work/linux-batch.htm"
  compare+=("$work/linux-batch.htm")
fi
for other in "${compare[@]}"; do
  if ! cmp "$work/finish.htm" "$other"; then
    echo "FAIL: Finish wrote other bytes than $(basename "$other")"
    status=1
  fi
done

# Once more with the HTML5 box: the modern page, its texts in UTF-8.
# The steps type through the ANSI calls: their text in cp1252, as typed.
sed "s|@DIR@|${dir//\\/\\\\}|g" "$here/walk-html5.steps" | iconv -f UTF-8 -t CP1252 >"$work/walk-html5.steps"
QUILLOGEN_TEST_STEPS="$dir\\walk-html5.steps" QUILLOGEN_TEST_TRANSCRIPT="$dir\\transcript-html5" \
  timeout 120 "${wine_desktop[@]}" "$exe"
html5=(--url http://www.example.com/cgi-bin/quillo/quillopro.exe --to sales@example.com
  --subject "Bestellung für Jürgen €" --success thanks.htm --error error.htm --comments --style html5)
timeout 60 wine "$exe" --batch "${html5[@]}" -o "$dir\\windows-html5.htm"
if ! cmp "$work/html5.htm" "$work/windows-html5.htm"; then
  echo "FAIL: Finish with the HTML5 box wrote other bytes than --batch --style html5"
  status=1
fi
if [ -n "$linux_build" ]; then
  "$linux_build/wizard/quillogen" --batch "${html5[@]}" -o "$work/linux-html5.htm"
  cmp "$work/html5.htm" "$work/linux-html5.htm" || { echo "FAIL: the Linux batch mode differs"; status=1; }
fi

[ $status -eq 0 ] && echo "PASS: six pages walked under wine; Finish = ${compare[*]##*/}; HTML5 = its batch"
exit $status
