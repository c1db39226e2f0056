#!/bin/sh
# Writes the sample site's two forms with the form wizard in batch mode:
# htdocs/contact.htm as the window writes a form, and htdocs/contact-html5.htm
# in the HTML5 style (UTF-8, accessible, for phones).
#
#   sh examples/site/make-form.sh [QUILLOGEN [FOLDER]]
#
# QUILLOGEN is the wizard (default: quillogen on the PATH; from a build tree
# give build/wizard/quillogen); FOLDER where the forms go (default: htdocs/
# next to this script). Change --to and --server for your own site, and
# recipients.txt with them.
set -eu
here=$(dirname "$0")
quillogen=${1:-quillogen}
folder=${2:-$here/htdocs}

"$quillogen" --batch -o "$folder/contact.htm" --url /cgi-bin/quillopro.exe \
  --to info@example.com --server 127.0.0.1 --subject 'Contact form: ##FirstName## ##Name##' \
  --template mail.tpl --success thanks.htm --error error.htm --required required.htm \
  --bademail bad-address.htm --respond-template reply.tpl --respond-subject 'Thank you for your message' \
  --email-verify --address --comments
"$quillogen" --batch -o "$folder/contact-html5.htm" --style html5 --url /cgi-bin/quillopro.exe \
  --to info@example.com --server 127.0.0.1 --subject 'Contact form: ##FirstName## ##Name##' \
  --success thanks-html5.htm --error error-html5.htm --required required-html5.htm \
  --bademail bad-address-html5.htm --respond-template reply.tpl --respond-subject 'Thank you for your message' \
  --email-verify --address --comments
