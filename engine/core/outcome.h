// Result values for the engine: either a value, or a failure with a kind and a reason a
// person can read.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace quillmark {

enum class FailureKind {
    NotAWorkbook,  // the bytes are no spreadsheet format we know
    Encrypted,     // password-protected or encrypted workbook
    Truncated,     // the file ends before its structures do
    Corrupt,       // structures that contradict themselves
    Unsupported,   // a known format in a version or variant we do not read
    TooLarge,      // a part would inflate or grow past our caps
    Unreadable,    // the file system refused the file
    Cancelled,     // the search was asked to stop before it finished
    NoSuchSheet,   // a reader was asked for a sheet the workbook does not have
};

const char* failureKindName(FailureKind kind);

struct Failure {
    FailureKind kind;
    std::string reason;
};

// Either a T or a Failure. Kept small on purpose: the engine returns these everywhere
// instead of throwing, so a bad file is a value the caller can look at. Dropping one
// unlooked-at would drop its failure's reason, so the compiler warns. Layers above the
// engine with failures of their own give them as E.
template <class T, class E = Failure>
class [[nodiscard]] Outcome {
  public:
    Outcome(T value) : state_(std::move(value)) {}
    Outcome(E failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T&& take() { return std::get<0>(std::move(state_)); }
    const E& failure() const { return std::get<1>(state_); }

  private:
    std::variant<T, E> state_;
};

// For operations that return nothing on success.
struct Done {};
using Status = Outcome<Done>;

inline Failure fail(FailureKind kind, std::string reason) {
    return Failure{kind, std::move(reason)};
}

}  // namespace quillmark
