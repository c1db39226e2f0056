"""The sample site and the install instructions agree with what they show:
the form is what its command writes today, the recipe files are the text
the README and the manual show, and every page the form names is there."""

import html
import os
import re
import subprocess
import tempfile

import pytest

from debian_servers import INSTALL_SITE, NGINX_RECIPE, REPO, SITE, form_fields

QUILLOGEN = os.environ.get("QUILLOGEN_EXE", "")
FORMS = ("contact.htm", "contact-html5.htm")


def read(path):
    with open(os.path.join(REPO, path), encoding="latin-1") as f:
        return f.read()


@pytest.mark.skipif(not QUILLOGEN, reason="the wizard is not built")
def test_the_committed_forms_are_what_make_form_writes_today():
    with tempfile.TemporaryDirectory() as work:
        subprocess.run(["sh", os.path.join(SITE, "make-form.sh"), QUILLOGEN, work], check=True)
        for name in FORMS:
            with open(os.path.join(work, name), "rb") as written, \
                    open(os.path.join(SITE, "htdocs", name), "rb") as committed:
                assert written.read() == committed.read(), name


def test_the_readme_and_the_manual_show_the_recipe_files_byte_for_byte():
    recipe = read(NGINX_RECIPE)
    readme = read("README.md")
    assert re.findall(r"`examples/nginx/quillo.conf`:\n\n```nginx\n(.*?)```\n", readme, re.S) == [recipe]
    manual = read("docs/manual-en-us.html")
    shown = re.findall(r"<code>examples/nginx/quillo.conf</code>\):</p>\n<pre>(.*?)</pre>", manual, re.S)
    assert [html.unescape(block) + "\n" for block in shown] == [recipe]
    # The commands that install the sample site, which the recipe tests run.
    assert "\n" + INSTALL_SITE.replace("cp ", "    cp ") + "\n" in readme
    assert "<pre>" + INSTALL_SITE.rstrip("\n") + "</pre>" in manual


def test_the_forms_documents_lie_next_to_the_program_and_link_from_the_root():
    documents, named = [], {"recipients.txt"}
    for form in FORMS:
        fields = dict(re.findall(r'<input type="hidden" name="([^"]+)" value="([^"]*)"', read(os.path.join(SITE, "htdocs", form))))
        documents += [fields[n] for n in ("QUILLO_SUCCESS", "QUILLO_REQUIRED", "QUILLO_BADEMAIL", "QUILLO_ERROR")]
        named |= set(documents) | {fields[n] for n in ("QUILLO_TEMPLATE", "RESPOND_TEMPLATE") if n in fields}
    assert sorted(os.listdir(os.path.join(SITE, "cgi-bin"))) == sorted(named)
    # Shown under /cgi-bin/quillopro.exe, a document can only link from the root.
    for name in documents:
        for link in re.findall(r'(?:href|src)="([^"]*)"', read(os.path.join(SITE, "cgi-bin", name))):
            assert link.startswith("/") and os.path.exists(os.path.join(SITE, "htdocs", link[1:])), (name, link)
