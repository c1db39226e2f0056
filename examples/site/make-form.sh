#!/bin/sh
# Writes the sample site's form, htdocs/contact.htm, with the form wizard in
# batch mode.
#
#   sh examples/site/make-form.sh [QUILLOGEN [FORM]]
#
# QUILLOGEN is the wizard (default: quillogen on the PATH; from a build tree
# give build/wizard/quillogen); FORM the file to write (default:
# htdocs/contact.htm next to this script). Change --to and --server for your
# own site, and recipients.txt with them.
set -eu
here=$(dirname "$0")
quillogen=${1:-quillogen}
form=${2:-$here/htdocs/contact.htm}

"$quillogen" --batch -o "$form" --url /cgi-bin/quillopro.exe \
  --to info@example.com --server 127.0.0.1 --subject 'Contact form: ##FirstName## ##Name##' \
  --template mail.tpl --success thanks.htm --error error.htm --required required.htm \
  --bademail bad-address.htm --respond-template reply.tpl --respond-subject 'Thank you for your message' \
  --email-verify --address --comments
