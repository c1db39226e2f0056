"""The one table of the addresses the Python suites give their servers.

Each suite runs in a network of its own (tests/own_network.sh; the Windows
build's in the one wine-session.sh makes), so an address need only be unique
within its suite; they are kept unique across all suites anyway, so that a
suite run by hand on the machine's own loopback meets no other. 127.0.0.1 is
the web servers' (a Debian site's own address) and the C++ tests' scripted
peers' (each on a port of its own; tests/delivery/delivery_test.cpp binds
from 127.0.0.2 and names 127.0.0.9, where nothing listens); the two-host
network of two_hosts.sh takes 10.N.0.x. A new server takes the next free
address of its suite's block below.
"""

# cgi_site: where a run's DNS queries go when its test starts no DNS server;
# nothing listens there, so lookups fail at once and nothing leaves.
NO_DNS_SERVER = "127.0.0.254"

# test_delivery: the form's QUILLO_SERVER, a DNS server and exchangers.
TEMPLATE_MAIL_SERVER = "127.0.0.21"
BUILT_IN_LAYOUT_SERVER = "127.0.0.22"
MX_DNS_SERVER = "127.0.0.31"
MX_BEST = "127.0.0.32"
MX_BACKUP = "127.0.0.33"
FALLBACK_DNS_SERVER = "127.0.0.41"
FALLBACK_EXCHANGER = "127.0.0.42"
FALLBACK_REFUSING_SERVER = "127.0.0.43"
RECIPIENT_REFUSING_SERVER = "127.0.0.51"
AUTOMATIC_REPLY_SERVER = "127.0.0.61"
REPLY_OUTCOME_SERVER = "127.0.0.62"
HEADER_INJECTION_SERVER = "127.0.0.71"
COMMAND_INJECTION_SERVER = "127.0.0.72"
LIGHTTPD_MAIL_SERVER = "127.0.0.81"
APACHE_MAIL_SERVER = "127.0.0.82"
LATIN1_NAME_SERVER = "127.0.0.101"
LONG_VALUE_SERVER = "127.0.0.102"
ASCII_NAME_SERVER = "127.0.0.103"
LONG_RECIPIENT_LIST_SERVER = "127.0.0.105"
HOSTS_FILE_SERVER = "127.0.0.118"
DATE_ZONE_SERVER = "127.0.0.119"

# test_browser
BROWSER_MAIL_SERVER = "127.0.0.95"
CHALLENGE_WIDGET_SERVER = "127.0.0.96"
UTF8_PAGE_SERVER = "127.0.0.97"
REDIRECT_SERVER = "127.0.0.98"
JSON_ANSWER_SERVER = "127.0.0.99"

# test_attacks
SMUGGLED_DATA_SERVER = "127.0.0.110"
SMUGGLED_THROUGH_WEB_SERVER = "127.0.0.111"
CHAINED_PLACEHOLDERS_SERVER = "127.0.0.112"
MANY_FIELDS_SERVER = "127.0.0.113"
RECIPIENT_BOUND_SERVER = "127.0.0.115"
TRICKLING_SERVER = "127.0.0.116"
DOCUMENT_NAMES_SERVER = "127.0.0.117"

# test_site_settings, test_transport, test_install_recipes, test_concurrency
SITE_SETTINGS_SERVER = "127.0.0.120"
TRANSPORT_MAIL_SERVER = "127.0.0.130"
TRANSPORT_DNS_SERVER = "127.0.0.131"
APACHE_RECIPE_SERVER = "127.0.0.131"
NGINX_RECIPE_SERVER = "127.0.0.132"
CONCURRENCY_SERVER = "127.0.0.133"

# test_audit
AUDIT_SERVER = "127.0.0.140"
AUDIT_POSTFIX = "127.0.0.141"

# Postfix instances: postfix_server's self-test and test_real_network's
# local one, test_postfix_fixture, test_local_mail.
LOCAL_POSTFIX = "127.0.0.150"
FIXTURE_POSTFIX_SMTP = "127.0.0.161"
FIXTURE_POSTFIX_HELO = "127.0.0.162"
FIXTURE_POSTFIX_SENDMAIL = "127.0.0.163"
FIXTURE_POSTFIX_DEFERRING = "127.0.0.164"
FIXTURE_DEFERRING_RELAY = "127.0.0.165"
FIXTURE_POSTFIX_CLEANUP = "127.0.0.166"
LOCAL_MAIL_POSTFIX = "127.0.0.171"
LOCAL_MAIL_RELAY = "127.0.0.172"

# test_inbox
INBOX_SERVER = "127.0.0.180"

# test_admin: the relay the admin command probes and sends its test mail to
ADMIN_RELAY = "127.0.0.185"

# tests/delivery/test_end_to_end: a DNS server, two SMTP servers, and an
# address nobody listens on.
END_TO_END_DNS = "127.0.0.190"
END_TO_END_SMTP_MAIN = "127.0.0.191"
END_TO_END_SMTP_BACKUP = "127.0.0.192"
END_TO_END_NOBODY = "127.0.0.193"

# test_captcha: the relay, a DNS server that names the verification
# service, and that service.
CAPTCHA_MAIL_SERVER = "127.0.0.195"
CAPTCHA_DNS_SERVER = "127.0.0.196"
CAPTCHA_VERIFY_SERVER = "127.0.0.197"

# test_store: the relay the stored posts go to, then are resent to.
STORE_RELAY = "127.0.0.198"
# test_store and test_webhook: a DNS server naming the hook receiver, and
# the receiver (hook_receiver.py).
WEBHOOK_DNS_SERVER = "127.0.0.199"
WEBHOOK_RECEIVER = "127.0.0.200"
STORE_POSTFIX = "127.0.0.201"
# test_webhook: the relay of its posts.
WEBHOOK_MAIL_SERVER = "127.0.0.202"
# test_uploads: the relay of its posts, one that offers SIZE, one that
# answers 552; test_upload_browser: the relay behind the three web servers.
UPLOAD_RELAY = "127.0.0.203"
UPLOAD_SIZE_RELAY = "127.0.0.204"
UPLOAD_BROWSER_RELAY = "127.0.0.205"
# test_modern_form: the relay of the HTML5 page's posts.
MODERN_FORM_SERVER = "127.0.0.206"
