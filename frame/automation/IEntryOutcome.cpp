// IEntryOutcome.cpp -- the interface identifier of IEntryOutcome.
#include "frame/automation/IEntryOutcome.h"

// {4C5C6552-AB21-4547-8C5C-464FF4697BB2}
const IID IID_IEntryOutcome = {0x4C5C6552, 0xAB21, 0x4547, {0x8C, 0x5C, 0x46, 0x4F, 0xF4, 0x69, 0x7B, 0xB2}};
