// JsonText.h -- quoting a UTF-8 text as a JSON string.
#pragma once

#include <cstdio>
#include <string>

/// `text` as a JSON string literal, quotes included. Control characters, '"' and '\\' are
/// escaped; other bytes pass unchanged (the component hands out valid UTF-8).
inline std::string JsonText(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"') quoted += "\\\"";
    else if (c == '\\') quoted += "\\\\";
    else if (c == '\n') quoted += "\\n";
    else if (c == '\r') quoted += "\\r";
    else if (c == '\t') quoted += "\\t";
    else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}
