// EngineErrorText.h -- the result text for an engine failure that no operation handles itself.
#pragma once

#include <exception>
#include <string>

/// The engine's own description of the failure held by `failure`: the message of a
/// `CZipException` or `CZipFileException` (for example "Damaged or not a zip file", or the
/// system's text and the path for a full disk), "Out of memory" for std::bad_alloc, what() of
/// any other std::exception, else "Unknown error". Never throws.
std::string EngineErrorText(std::exception_ptr failure) noexcept;
