// DispatchError.h -- a member call, creation or enumeration that an automation object refused.
#pragma once

#include <stdexcept>
#include <string>

#include "frame/automation/HResult.h"

/// A refusal with its result code. what() names the member and the code, for a log line;
/// description() is the text a script sees: the object's own description when it gave one
/// (EXCEPINFO), else what the code means.
class DispatchError : public std::runtime_error {
public:
  /// `description` empty: the code's meaning (DescribeResult) stands in.
  DispatchError(const std::string& member, HRESULT code, std::string description = std::string(),
                unsigned argumentIndex = 0);

  /// An error the object raised itself (Invoke answered DISP_E_EXCEPTION): `code` is the one it
  /// raised (its EXCEPINFO scode), `description` and `source` its own words.
  static DispatchError Raised(const std::string& member, HRESULT code, std::string description, std::string source);

  HRESULT code() const noexcept { return code_; }
  const std::string& member() const noexcept { return member_; }
  const std::string& description() const noexcept { return description_; }
  /// The 0-based position, as the script wrote them, of the argument that failed to convert
  /// (DISP_E_TYPEMISMATCH, DISP_E_PARAMNOTFOUND); 0 otherwise.
  unsigned argumentIndex() const noexcept { return argumentIndex_; }
  /// Whether the object raised the error itself (through EXCEPINFO).
  bool raisedByObject() const noexcept { return raised_; }
  /// The object's name for itself in a raised error (EXCEPINFO's source); empty otherwise.
  const std::string& source() const noexcept { return source_; }

private:
  std::string member_;
  HRESULT code_;
  std::string description_;
  unsigned argumentIndex_;
  bool raised_ = false;
  std::string source_;
};
