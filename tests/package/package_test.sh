#!/usr/bin/env bash
# The Debian packages as a user gets them: cpack packs this build (no second
# build) into quillo and quillo-wizard; dpkg -x unpacks them, and their
# files, control fields, lintian's verdict and the installed CGI program's
# answer are compared whole. Exits 77 (skipped) without Debian's tools.
# Usage: package_test.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 version=$3 status=0
for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev desktop-file-validate:desktop-file-utils readelf:binutils \
  lintian:lintian; do
  command -v "${tool%%:*}" >/dev/null || { echo "SKIPPED: no ${tool%%:*} (Debian package ${tool#*:})"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }

same() { # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { echo "FAIL: $1"; diff -u <(echo "$2") <(echo "$3") || true; status=1; }
}
files() { # DEB: its files (not folders) with modes, owners and link targets
  dpkg-deb -c "$1" | awk '!/^d/ { print $1, $2, $6, $7, $8 }' | sed 's/ *$//' | sort -k3
}
arch=$(dpkg --print-architecture)
server=quillo_${version}_${arch}.deb
wizard=quillo-wizard_${version}_${arch}.deb
same "package files" "$wizard
$server" "$(cd "$scratch/out" && ls -- *.deb)"
root=$scratch/root
dpkg -x "$scratch/out/$server" "$root"
dpkg -x "$scratch/out/$wizard" "$root"

doc=./usr/share/doc/quillo
same "files of quillo" "\
-rw-r--r-- root/root ./etc/apache2/conf-available/quillo.conf
-rw-r--r-- root/root ./etc/cron.d/quillo
-rw-r--r-- root/root ./etc/logrotate.d/quillo
-rw-r--r-- root/root ./etc/quillo/quillopro.ini
-rw-r--r-- root/root ./lib/systemd/system/quillo-resend.service
-rw-r--r-- root/root ./lib/systemd/system/quillo-resend.timer
-rwxr-xr-x root/root ./usr/lib/cgi-bin/quillopro.exe
lrwxrwxrwx root/root ./usr/lib/cgi-bin/quillopro.ini -> /etc/quillo/quillopro.ini
-rwxr-xr-x root/root ./usr/sbin/quillo
-rw-r--r-- root/root $doc/changelog.gz
-rw-r--r-- root/root $doc/copyright
-rw-r--r-- root/root $doc/examples/apache/quillo.conf
-rw-r--r-- root/root $doc/examples/nginx/quillo.conf
-rw-r--r-- root/root $doc/examples/quillopro.ini
-rw-r--r-- root/root $doc/examples/site/README.md
-rw-r--r-- root/root $doc/examples/site/cgi-bin/bad-address-html5.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/bad-address.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/error-html5.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/error.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/mail.tpl
-rw-r--r-- root/root $doc/examples/site/cgi-bin/recipients.txt
-rw-r--r-- root/root $doc/examples/site/cgi-bin/reply.tpl
-rw-r--r-- root/root $doc/examples/site/cgi-bin/required-html5.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/required.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/thanks-html5.htm
-rw-r--r-- root/root $doc/examples/site/cgi-bin/thanks.htm
-rw-r--r-- root/root $doc/examples/site/htdocs/check.htm
-rw-r--r-- root/root $doc/examples/site/htdocs/contact-html5.htm
-rw-r--r-- root/root $doc/examples/site/htdocs/contact.htm
-rw-r--r-- root/root $doc/examples/site/htdocs/style-html5.css
-rw-r--r-- root/root $doc/examples/site/htdocs/style.css
-rw-r--r-- root/root $doc/examples/site/make-form.sh
-rw-r--r-- root/root $doc/manual-en-us.html
-rw-r--r-- root/root $doc/sample.template
-rw-r--r-- root/root ./usr/share/lintian/overrides/quillo
-rw-r--r-- root/root ./usr/share/man/man8/quillo.8.gz
-rw-r--r-- root/root ./usr/share/man/man8/quillopro.exe.8.gz" "$(files "$scratch/out/$server")"
same "files of quillo-wizard" "\
-rwxr-xr-x root/root ./usr/bin/quillogen
-rw-r--r-- root/root ./usr/share/applications/quillogen.desktop
-rw-r--r-- root/root ./usr/share/doc/quillo-wizard/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/quillo-wizard/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/32x32/apps/quillogen.png
-rw-r--r-- root/root ./usr/share/man/man1/quillogen.1.gz" "$(files "$scratch/out/$wizard")"
same "the folders the web server's user writes" "./var/lib/quillo/
./var/log/quillo/" "$(dpkg-deb -c "$scratch/out/$server" | awk '{ print $6 }' | grep -E '^\./var/[a-z]+/quillo/$')"
same "conffiles" "$(cat "${0%/*}/../../packaging/debian/conffiles")" \
  "$(dpkg-deb --ctrl-tarfile "$scratch/out/$server" | tar -xO ./conffiles)"

# A server installs quillo alone: the CGI program imports nothing, the
# admin command only the C and C++ runtimes every Debian system has. The
# minimum versions follow the calls made; the names are the point.
versionless() { sed -E 's/ \((>=|>>)[^)]*\)//g'; }
same "control fields of quillo" "\
Package: quillo
Version: $version
Architecture: $arch
Section: web
Depends: libc6, libgcc-s1, libstdc++6" \
  "$(dpkg-deb -f "$scratch/out/$server" Package Version Architecture Section Depends | versionless)"
same "control fields of quillo-wizard" "\
Package: quillo-wizard
Version: $version
Architecture: $arch
Section: web
Depends: quillo (= $version), libc6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libstdc++6" \
  "$(dpkg-deb -f "$scratch/out/$wizard" Package Version Architecture Section Depends | versionless)"
same "lintian" "" "$(lintian --tag-display-limit 0 "$scratch/out/$server" "$scratch/out/$wizard" 2>&1 |
                       grep -v 'running with root privileges is not recommended' || true)"

cgi=$root/usr/lib/cgi-bin/quillopro.exe
same "libraries, loader, symbols or debug data in the CGI program" "" \
  "$(readelf -lSW -d "$cgi" | grep -oE 'NEEDED|interpreter|\.symtab|\.debug_[a-z]+' || true)"
same "desktop-file-validate" "" "$(desktop-file-validate "$root/usr/share/applications/quillogen.desktop" 2>&1)"

# As lighttpd starts it: its own folder, an absolute argv[0], no PATH. With
# no CONTENT_LENGTH it prints its usage line, the starter settings read
# (the link's target put in its place); with the link leading nowhere it
# refuses to run without the settings the site meant it to have (600).
run_cgi() {
  (cd "${cgi%/*}" && env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=POST SCRIPT_NAME=/cgi-bin/quillopro.exe \
    REMOTE_ADDR=127.0.0.1 "$cgi" </dev/null 2>/dev/null | head -c 200 | od -An -c; echo "exit ${PIPESTATUS[0]}")
}
if [ ! -e /etc/quillo/quillopro.ini ]; then
  same "the installed CGI program without its settings" "$(printf 'Content-Type: text/html\r\n\r\n<html>\r\n<header></header><body>\r\n<HR><BR><h2>QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>quillopro.ini<br><br>Please verify filename and access permissions (r' | od -An -c)
exit 0" "$(run_cgi)"
fi
cp --remove-destination "$root/etc/quillo/quillopro.ini" "${cgi%/*}/quillopro.ini"
same "the installed CGI program with the starter settings" \
  "$(printf 'Content-Type: text/plain\r\n\r\nPlace this file in your /cgi-bin or /scripts directory\r\n' | od -An -c)
exit 0" "$(run_cgi)"
exit $status
