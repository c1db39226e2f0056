import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from cgi_site import Site  # noqa: E402


@pytest.fixture
def site():
    s = Site()
    s.write("ok.htm", "<p>Thanks ##Name##</p>\r\n<p>##QUILLO_TO##</p>\r\n")
    s.write("err.htm", "ERROR PAGE\n")
    s.write("req.htm", "REQUIRED PAGE\n")
    s.write("bad.htm", "BAD EMAIL PAGE\n")
    yield s
    s.close()
