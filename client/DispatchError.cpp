// DispatchError.cpp -- a member call, creation or enumeration that an automation object refused.
#include "client/DispatchError.h"

#include <utility>

#include "client/ResultText.h"

DispatchError::DispatchError(const std::string& member, HRESULT code, std::string description,
                             unsigned argumentIndex)
    : std::runtime_error("the component refused '" + member + "' with " + ResultCodeText(code)),
      member_(member),
      code_(code),
      description_(description.empty() ? DescribeResult(code) : std::move(description)),
      argumentIndex_(argumentIndex) {}

DispatchError DispatchError::Raised(const std::string& member, HRESULT code, std::string description,
                                    std::string source) {
  DispatchError error(member, code, std::move(description));
  error.raised_ = true;
  error.source_ = std::move(source);
  return error;
}
