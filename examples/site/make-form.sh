#!/bin/sh
# Writes the sample site's form, htdocs/contact.htm, with the form wizard,
# then adds the hidden fields the wizard has no page for: the bad-address
# document and the automatic reply.
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
  --email-verify --address --comments

# The form's lines end in CR LF; the added ones too.
cr=$(printf '\r')
anchor="<input type=\"hidden\" name=\"QUILLO_REQUIRED\" value=\"required.htm\">$cr"
if ! grep -qx "$anchor" "$form"; then
  echo "make-form.sh: no QUILLO_REQUIRED field in $form to add the others after" >&2
  exit 1
fi
sed -i "s|^$anchor\$|&\\
<input type=\"hidden\" name=\"QUILLO_BADEMAIL\" value=\"bad-address.htm\">$cr\\
<input type=\"hidden\" name=\"RESPOND_TEMPLATE\" value=\"reply.tpl\">$cr\\
<input type=\"hidden\" name=\"RESPOND_SUBJECT\" value=\"Thank you for your message\">$cr|" "$form"
