// A failure as one short line a person understands: "encrypted with a password",
// "truncated", "corrupt: sector chain loops".
#pragma once

#include <string>

#include "platform/automation.h"

namespace quillmark::search {

std::string failureText(const automation::CallFailure& failure);

}  // namespace quillmark::search
