// PrintableName.h -- an entry name made safe to print on a terminal, control characters escaped.
#pragma once

#include <string>
#include <string_view>

/// `name` with every byte that a terminal could take as a control written as a backslash
/// escape, as `ls -b` writes names: \a \b \t \n \v \f \r for those characters, \\ for a
/// backslash, and \ooo (three octal digits) for any other C0 control, DEL, each byte of a C1
/// control (U+0080 to U+009F, which some terminals obey as escape sequences) and each byte that
/// is not part of well-formed UTF-8. Printable UTF-8 passes unchanged.
std::string PrintableName(std::string_view name);
