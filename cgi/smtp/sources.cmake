# SMTP delivery: filled in by the delivery work.
