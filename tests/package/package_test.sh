#!/usr/bin/env bash
# The Debian package as a user gets it: cpack packs this build (no second
# build), dpkg -x unpacks it, and its files, control fields and installed
# CGI program are compared whole. Exits 77 (skipped) without Debian's tools.
# Usage: package_test.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 version=$3 status=0
for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev desktop-file-validate:desktop-file-utils readelf:binutils; do
  command -v "${tool%%:*}" >/dev/null || { echo "SKIPPED: no ${tool%%:*} (Debian package ${tool#*:})"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }

same() { # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { echo "FAIL: $1"; diff -u <(echo "$2") <(echo "$3") || true; status=1; }
}
arch=$(dpkg --print-architecture)
deb=quillo_${version}_${arch}.deb
same "package file" "$deb" "$(cd "$scratch/out" && ls -- *.deb)"
root=$scratch/root
dpkg -x "$scratch/out/$deb" "$root"

same "files, modes and owners" "\
-rwxr-xr-x root/root ./usr/bin/quillogen
-rwxr-xr-x root/root ./usr/lib/cgi-bin/quillopro.exe
-rw-r--r-- root/root ./usr/share/applications/quillogen.desktop
-rw-r--r-- root/root ./usr/share/doc/quillo/manual-en-us.html
-rw-r--r-- root/root ./usr/share/doc/quillo/sample.template
-rw-r--r-- root/root ./usr/share/icons/hicolor/32x32/apps/quillogen.png" \
  "$(dpkg-deb -c "$scratch/out/$deb" | awk '!/^d/ { print $1, $2, $6 }' | sort -k3)"
# Minimum versions follow the Qt calls the wizard makes; the names are the
# point: Qt for the wizard, nothing for the CGI program.
same "control fields, Depends without versions" "\
Package: quillo
Version: $version
Architecture: $arch
Section: web
Depends: libc6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libstdc++6" \
  "$(dpkg-deb -f "$scratch/out/$deb" Package Version Architecture Section Depends | sed 's/ ([^)]*)//g')"

cgi=$root/usr/lib/cgi-bin/quillopro.exe
same "libraries, loader, symbols or debug data in the CGI program" "" \
  "$(readelf -lSW -d "$cgi" | grep -oE 'NEEDED|interpreter|\.symtab|\.debug_[a-z]+' || true)"
same "desktop-file-validate" "" "$(desktop-file-validate "$root/usr/share/applications/quillogen.desktop" 2>&1)"

# As lighttpd starts it: its own folder, an absolute argv[0], no PATH. With
# no CONTENT_LENGTH it prints its usage line.
same "answer of the installed CGI program" \
  "$(printf 'Content-Type: text/plain\r\n\r\nPlace this file in your /cgi-bin or /scripts directory\r\n' | od -An -c)
exit 0" "$(cd "${cgi%/*}" && env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=POST SCRIPT_NAME=/cgi-bin/quillopro.exe \
  REMOTE_ADDR=127.0.0.1 "$cgi" </dev/null | od -An -c; echo "exit ${PIPESTATUS[0]}")"
exit $status
