"""[webhook] without a store, on either build: each post announced, signed,
to an HTTPS receiver behind the tests' CA; a receiver that fails changes
nothing of the answer or the mail, and the log says so."""

import pytest

from cgi_site import document_page, form, shown_path
from hook_receiver import HOOK_HOST, HOOK_SECRET, certificates, hook_receiver  # noqa: F401 (fixture)
from mail_servers import dns_server, smtp_server
from addresses import WEBHOOK_DNS_SERVER, WEBHOOK_MAIL_SERVER, WEBHOOK_RECEIVER

DOCS = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
        ("QUILLO_SERVER", WEBHOOK_MAIL_SERVER)]
OK_PAGE = document_page("<p>Thanks Jo</p>\n<p>info@example.com</p>\n")


@pytest.mark.parametrize("behaviour, logged", [
    ("ok", None),
    ("error", "webhook not delivered: %s answered HTTP 500" % HOOK_HOST),
])
def test_a_post_is_announced_and_a_failed_announcement_is_logged(site, certificates, behaviour, logged):
    with open(site.resolv_conf, "w") as f:
        f.write("nameserver %s\noptions timeout:1 attempts:1\n" % WEBHOOK_DNS_SERVER)
    site.write("quillopro.ini", "[site]\nlog = off\n[webhook]\nurl = https://%s/forms\nsecret = %s\ntimeout = 2\n"
               "tls_ca_file = %s\n" % (HOOK_HOST, HOOK_SECRET, shown_path(certificates + "/ca.pem")))
    log = []
    with dns_server(WEBHOOK_DNS_SERVER, a={HOOK_HOST: WEBHOOK_RECEIVER}), \
            smtp_server(WEBHOOK_MAIL_SERVER) as received, hook_receiver(certificates, behaviour) as got:
        out, _ = site.run(form(*DOCS, ("Name", "Jo")), log=log)
    assert out == OK_PAGE and len(received) == 1
    assert [(valid, kind, body["id"], body["state"], body["fields"]) for valid, kind, body in got] == [
        (True, "application/json", None, "sent", [["Name", "Jo"]])]
    assert log == ([] if logged is None else ["quillopro.exe: " + logged])
