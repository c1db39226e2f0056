// SetupFacts of this machine, for the web server's user by name.
#pragma once

#include <string>

#include "admin/setup_check.h"

namespace quillo {

class SystemFacts : public SetupFacts {
 public:
  explicit SystemFacts(std::string web_user) : web_user_(std::move(web_user)) {}
  std::optional<std::string> Read(const std::string& path) const override;
  Access AccessOf(const std::string& path, Want want) const override;
  std::string LinkTarget(const std::string& path) const override;
  std::optional<std::uint32_t> ModeOf(const std::string& path) const override;

 private:
  std::string web_user_;
};

}  // namespace quillo
