# SMTP delivery: message assembly, MX choice, the SMTP session and the
# network seam it runs over (sockets, and glibc's resolver for MX records).
target_sources(quillopro_core PRIVATE
  smtp/reply.cpp
  smtp/wire.cpp
  smtp/smtp_client.cpp
  smtp/message.cpp
  smtp/mx.cpp
  smtp/send_mail.cpp
  platform/socket_posix.cpp
  platform/resolver_posix.cpp)
target_link_libraries(quillopro_core PUBLIC resolv)
