// Names of the failure kinds, for messages and the command line's diagnostics.
#include "engine/core/outcome.h"

namespace quillmark {

const char* failureKindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::NotAWorkbook:
            return "not a workbook";
        case FailureKind::Encrypted:
            return "encrypted";
        case FailureKind::Truncated:
            return "truncated";
        case FailureKind::Corrupt:
            return "corrupt";
        case FailureKind::Unsupported:
            return "unsupported";
        case FailureKind::TooLarge:
            return "too large";
        case FailureKind::Unreadable:
            return "unreadable";
        case FailureKind::Cancelled:
            return "cancelled";
        case FailureKind::NoSuchSheet:
            return "no such sheet";
    }
    return "failure";
}

}  // namespace quillmark
