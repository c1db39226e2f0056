# For a system without systemd: deliver the form posts the site's store
# kept, every five minutes, once quillopro.ini names a [store]. Remove the
# "#" below to switch it on (with systemd: systemctl enable --now
# quillo-resend.timer instead).
#*/5 * * * * www-data [ -x /usr/sbin/quillo ] && /usr/sbin/quillo resend
