// IEntryDetails.cpp -- the interface identifier of IEntryDetails.
#include "frame/automation/IEntryDetails.h"

// {9E2F4B71-3C0D-4A6B-B1E8-5D27C6A09F34}
const IID IID_IEntryDetails = {0x9E2F4B71, 0x3C0D, 0x4A6B, {0xB1, 0xE8, 0x5D, 0x27, 0xC6, 0xA0, 0x9F, 0x34}};
