"""Many visitors at once: the sample form posted 200 times, 20 at a time,
through lighttpd set up as the README's recipe says, to a real SMTP server."""

import concurrent.futures
import re
import time

import pytest

from cgi_site import WINDOWS
from debian_servers import debian_site, lighttpd, post_sample_form, sample_page
from mail_servers import smtp_server
from addresses import CONCURRENCY_SERVER as SMTP_HOST

pytestmark = pytest.mark.skipif(WINDOWS, reason="the recipe is Debian's own lighttpd with the Linux program")

POSTS, AT_ONCE = 200, 20


def test_every_post_is_answered_and_every_mail_arrives_once():
    def send(n):
        return post_sample_form(port, SMTP_HOST, _FE_Email="visitor-%03d@example.org" % n, _R_Name="Visitor",
                                _R_FirstName="No. %03d" % n, _R_Street="Main Street", _R_City="Springfield",
                                _R_Zip="12345", _R_Country="Utopia", Comments="Message %03d" % n)

    with debian_site() as site, smtp_server(SMTP_HOST) as received, lighttpd(site) as port:
        start = time.monotonic()
        with concurrent.futures.ThreadPoolExecutor(AT_ONCE) as pool:
            answers = list(pool.map(send, range(POSTS)))
        wall = time.monotonic() - start
    print("%d posts, %d at a time, through lighttpd: %.2f s wall time" % (POSTS, AT_ONCE, wall))
    assert answers == [(200, "text/html", sample_page("thanks.htm", FirstName="No. %03d" % n, Name="Visitor",
                                                      QUILLO_TO="info@example.com",
                                                      Email="visitor-%03d@example.org" % n)) for n in range(POSTS)]
    # Each post's mail once, and its automatic reply once.
    mails = [re.search(rb"^Message (\d+)\r$", m.raw, re.M).group(1).decode()
             for m in received if m.rcpt_tos == ["info@example.com"]]
    replies = [m.rcpt_tos[0] for m in received if m.rcpt_tos != ["info@example.com"]]
    assert sorted(mails) == ["%03d" % n for n in range(POSTS)]
    assert sorted(replies) == ["visitor-%03d@example.org" % n for n in range(POSTS)]
