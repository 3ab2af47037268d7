#pragma once

#include "dicom/FrameSource.h"
#include "imaging/DecodedFrame.h"
#include "platform/ErrorCode.h"

#include <string>
#include <vector>

namespace orblane {

// Why an image cannot be shown, in the words its tile shows: its file cannot be read (`unreadable`), memory ran out
// (`error`), its codec refused the frame (`outcome`), or what the occurrence `occurrence` of the file says of it.
std::u16string UnshownReason(const std::vector<FrameSource>& occurrences, int occurrence, bool unreadable,
                             ErrorOutcome error, FrameOutcome outcome);

} // namespace orblane
