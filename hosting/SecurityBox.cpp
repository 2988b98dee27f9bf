// SecurityBox.cpp -- the hosting policy's gate (the settings files are not consulted yet).
#include "hosting/SecurityBox.h"

#include <cctype>

namespace {

std::string Trimmed(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

}  // namespace

bool LocateSecuritySettings(HostingRequest& request) {
  request.zipFile = Trimmed(request.zipFile);
  if (request.zipFile.empty()) {
    request.errorReason = "Please specify the valid ZIP file name";
    return false;
  }
  // Until the settings readers exist the policy does not apply to any call.
  request.securityBypass = 1;
  return true;
}

bool CheckSecurityBox(HostingRequest& request) {
  // Without settings files the policy does not apply: every method may go on.
  return request.securityBypass == 1;
}
