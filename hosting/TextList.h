// TextList.h -- the ordered list of texts used for queues and INI section lines.
#pragma once

#include <string>
#include <vector>

/// Ordered; duplicates and empty items are allowed; appending keeps order.
using TextList = std::vector<std::string>;
