// UniqueBstr.h -- sole owner of one BSTR, freed with SysFreeString when dropped.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "frame/automation/Bstr.h"

/// Owns a BSTR (possibly null, which is the null string).
class UniqueBstr {
public:
  UniqueBstr() noexcept = default;
  /// Adopts `text`, which must come from the SysAlloc* family.
  explicit UniqueBstr(BSTR text) noexcept : text_(text) {}
  /// A new BSTR from UTF-8; Get() is null only when memory ran out.
  static UniqueBstr FromUtf8(std::string_view text) noexcept { return UniqueBstr(BstrFromUtf8(text)); }
  UniqueBstr(UniqueBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.text_, nullptr));
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { SysFreeString(text_); }

  /// Frees the current string and adopts `text`.
  void Reset(BSTR text = nullptr) noexcept {
    SysFreeString(std::exchange(text_, text));
  }
  /// Hands the string to the caller, who must free it.
  [[nodiscard]] BSTR Release() noexcept { return std::exchange(text_, nullptr); }
  /// Frees the current string and hands out the slot for an out-parameter to fill.
  BSTR* ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &text_;
  }

  BSTR Get() const noexcept { return text_; }
  /// The UTF-8 form; "" for null.
  std::string ToUtf8() const { return Utf8FromBstr(text_); }

private:
  BSTR text_ = nullptr;
};
