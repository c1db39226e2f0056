[QUILLO_TEMPLATE_TEXT]
Thank you for writing to Example Ltd.

Your message reached us on ##DATE##; we answer within two working days.
This reply was sent automatically. There is no need to answer it.

Example Ltd
info@example.com
