// Test driver for the end-to-end tests: calls sendMail or MxResolver the
// way the program does and prints the outcome on standard output.
//
//   smtp_driver mx ADDRESS
//     prints "true" or "false", then the primary and the secondary host,
//     one per line.
//   smtp_driver send [--server S] [--first A] [--second A] [--from ADDR]
//                    [--name N] [--subject S] [--text T] [--html H] [--high]
//                    [--date D] [--to ADDR]... [--field NAME=VALUE]...
//     prints the answer of sendMail, "OK" or "NO".
//   smtp_driver headers < names
//     for each display name of standard input (each ended by a NUL byte)
//     prints the header of a message from that name to form@example.test,
//     each ended by a NUL byte.
#include <iostream>
#include <iterator>
#include <string>

#include "content/placeholders.h"
#include "delivery/message.h"
#include "delivery/send_mail.h"
#include "platform/system.h"
#include "smtp/mx.h"

namespace {

constexpr int kUsage = 2;

int LookUp(const std::string& address) {
  quillo::MxResolver resolver;
  std::string primary, secondary;
  const bool found = resolver.lookupMx(address, primary, secondary);
  std::cout << (found ? "true" : "false") << "\n" << primary << "\n" << secondary << "\n";
  return 0;
}

int Send(int argc, char** argv) {
  quillo::FormRequest request;
  std::string server, first, second, from, name, subject, text, html;
  quillo::TextList recipients;
  bool high = false;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--high") {
      high = true;
      continue;
    }
    if (i + 1 >= argc) return kUsage;
    const std::string value = argv[++i];
    if (option == "--server")
      server = value;
    else if (option == "--first")
      first = value;
    else if (option == "--second")
      second = value;
    else if (option == "--from")
      from = value;
    else if (option == "--name")
      name = value;
    else if (option == "--subject")
      subject = value;
    else if (option == "--text")
      text = value;
    else if (option == "--html")
      html = value;
    else if (option == "--date")
      request.date = value;
    else if (option == "--to")
      recipients.push_back(value);
    else if (option == "--field") {
      const std::size_t equals = value.find('=');
      if (equals == std::string::npos) return kUsage;
      request.field_names.push_back(value.substr(0, equals));
      request.field_values.push_back(value.substr(equals + 1));
    } else {
      return kUsage;
    }
  }
  // The run fills in the subject's placeholders before it hands the mail over.
  quillo::SubstitutePlaceholders(request, subject, quillo::Target::PlainText);
  quillo::OutgoingMail mail;
  mail.fromAddress = from;
  mail.fromName = name;
  mail.recipients = recipients;
  mail.subject = subject;
  mail.date = request.date;
  mail.textBody = text;
  mail.htmlBody = html;
  mail.highPriority = high;
  quillo::DeliveryPlan plan;
  plan.server = server;
  plan.first_local_address = first;
  plan.second_local_address = second;
  std::cout << quillo::sendMail(std::move(mail), plan).answer << "\n";
  return 0;
}

int Headers() {
  const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  for (std::size_t from = 0, end; (end = input.find('\0', from)) != std::string::npos; from = end + 1) {
    quillo::MessageParts parts;
    parts.fromName = input.substr(from, end - from);
    parts.fromAddress = "form@example.test";
    parts.recipients = {"a@example.test"};
    parts.subject = "Hello";
    parts.date = "Mon, 01 Jan 2024 10:00:00 +0100";
    std::cout << quillo::BuildMessageText(parts) << '\0';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  quillo::platform::TheSystem().StartSockets();
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "mx" && argc == 3) return LookUp(argv[2]);
  if (mode == "send") return Send(argc, argv);
  if (mode == "headers") return Headers();
  std::cerr << "usage: smtp_driver mx ADDRESS | smtp_driver send [options]\n";
  return kUsage;
}
