// The wording of failures for people: what kind of trouble first, then the detail the engine
// gave, except where the detail alone says it better.
#include "search/failure_text.h"

namespace quillmark::search {
namespace {

// The scheme an encryption failure names in parentheses at its end ("(RC4 CryptoAPI
// encryption)"), with a space before it; empty when it names none.
std::string schemeOf(const std::string& reason) {
    if (!reason.ends_with(')')) return {};
    const std::size_t open = reason.rfind('(');
    return open == std::string::npos ? std::string() : " " + reason.substr(open);
}

std::string engineText(FailureKind kind, const std::string& reason) {
    switch (kind) {
        case FailureKind::Encrypted:
            // Every encryption the engine meets needs a password it does not have.
            return "encrypted with a password" + schemeOf(reason);
        case FailureKind::TooLarge:  // the reasons say what grew too large, and past what
            return reason;
        case FailureKind::Unreadable:
            return "cannot be read: " + reason;
        case FailureKind::Cancelled:
            return "search cancelled";
        default:
            return std::string(failureKindName(kind)) + ": " + reason;
    }
}

}  // namespace

std::string failureText(const automation::CallFailure& failure) {
    if (failure.engineKind) return engineText(*failure.engineKind, failure.reason);
    return failure.reason;
}

}  // namespace quillmark::search
