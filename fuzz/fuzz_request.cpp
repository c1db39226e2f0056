// Fuzz target: any request body through decoding, the field pass, the
// layouts, placeholders and the debug report. Checks the record's invariants.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "content/layouts.h"
#include "content/templates.h"
#include "request/field_checks.h"
#include "request/intake.h"
#include "response/debug_report.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  FormRequest request;
  DecodeBodyIntoFields(body, request);
  if (request.field_names.size() != request.field_values.size()) std::abort();
  for (const std::string& name : request.field_names) {
    if (name.compare(0, 3, "_I_") == 0) std::abort();
    if (ControlVariableField(request.settings, name) != nullptr) std::abort();
  }
  request.settings.recipients = SplitRecipients(request.settings.to);
  for (const std::string& recipient : request.settings.recipients) {
    if (recipient.empty() || recipient.find(',') != std::string::npos) std::abort();
  }
  RenderDebugReport(request);
  RunFieldPass(request);
  FormRequest with_settings = request;
  with_settings.site_settings = true;
  BuildBuiltInLayouts(request);
  BuildBuiltInLayouts(with_settings);
  return 0;
}
