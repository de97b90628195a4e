// A small late-bound object layer, shaped like desktop automation: objects whose members are
// looked up by name at run time (letter case ignored) and called with variant arguments.
// The workbook search is written against this layer only, so a backend over a real
// automation server can stand beside the embedded engine's without touching it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/core/outcome.h"

namespace quillmark::automation {

class Dispatch;
using DispatchRef = std::shared_ptr<Dispatch>;

// Why a call failed: the object model refused it, or the engine behind the object could not
// do what it was asked (a workbook it cannot open, a sheet it cannot read).
enum class CallFailureKind {
    Engine,        // the engine failed; engineKind says how
    NoSuchMember,  // the object has no member of that name
    BadArgument,   // an argument of the wrong kind or out of range
    NotAvailable,  // the server cannot be created, or has quit
};

struct CallFailure {
    CallFailureKind kind = CallFailureKind::Engine;
    std::string reason;                     // a person can read it
    std::optional<FailureKind> engineKind;  // set exactly when kind is Engine
};

template <class T>
using CallResult = Outcome<T, CallFailure>;

// nothing, bool, integer, double, string (UTF-8, or a path's exact bytes), object.
using Variant = std::variant<std::monostate, bool, std::int64_t, double, std::string, DispatchRef>;
using Arguments = std::vector<Variant>;
using CallOutcome = CallResult<Variant>;

enum class Invoke { Get, Call };

// What every automation object implements: one entry point, members chosen by name.
class Dispatch {
  public:
    virtual ~Dispatch() = default;
    virtual CallOutcome invoke(std::string_view member, Invoke how, const Arguments& arguments) = 0;
};

// Member names compare as automation compares them: ASCII letters without regard to case.
bool sameMember(std::string_view a, std::string_view b);

// A reference to an automation object, or nothing.
class Object {
  public:
    Object() = default;
    explicit Object(DispatchRef target) : target_(std::move(target)) {}

    bool isNothing() const { return target_ == nullptr; }
    void release() { target_.reset(); }
    const DispatchRef& dispatch() const { return target_; }

    CallOutcome get(std::string_view member, const Arguments& arguments = {}) const;
    CallOutcome call(std::string_view member, const Arguments& arguments = {}) const;
    // get() whose result must be an object (nothing is a failure).
    CallResult<Object> getObject(std::string_view member, const Arguments& arguments = {}) const;

  private:
    DispatchRef target_;
};

// Creates a new server object from its programmatic identifier ("Excel.Application").
CallResult<Object> createObject(std::string_view progId);

// Backends register the identifiers they serve. The embedded engine registers
// "Excel.Application" at start-up; tests register fakes. Thread-safe.
using Factory = std::function<CallResult<Object>()>;
void registerFactory(std::string progId, Factory factory);
void unregisterFactory(std::string_view progId);

// Helpers for implementations and callers.
CallFailure engineFailure(Failure failure);
CallFailure noSuchMember(std::string_view member);
CallFailure badArgument(std::string_view member, std::string_view why);
CallFailure notAvailable(std::string reason);
CallResult<std::int64_t> toInteger(const Variant& value);
CallResult<std::string> toText(const Variant& value);

}  // namespace quillmark::automation
