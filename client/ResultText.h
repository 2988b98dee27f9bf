// ResultText.h -- what an HRESULT means, in the words a script host uses for it.
#pragma once

#include <string>

#include "frame/automation/HResult.h"

/// The meaning of `code` as the system's message table words it ("Unknown name.", "Type
/// mismatch."), for the codes an automation client meets; any other code gives
/// "Unknown error 0x%08X". Never empty.
std::string DescribeResult(HRESULT code);

/// `code` as eight hexadecimal digits after "0x", as result codes are written.
std::string ResultCodeText(HRESULT code);
