// The late-bound object layer: name comparison, the factory registry and small conversions.
#include "platform/automation.h"

#include <cmath>
#include <map>
#include <mutex>

#include "engine/core/ascii.h"
#include "platform/engine_automation.h"

namespace quillmark::automation {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, Factory, std::less<>> factories;  // keys lower-cased
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = engine::lowerAscii(c);
    return out;
}

Registry& registry() {
    // The embedded engine serves "Excel.Application" unless someone registers another backend.
    static Registry* instance = [] {
        auto* created = new Registry;
        created->factories[lowered(kExcelApplication)] = createEngineApplication;
        return created;
    }();
    return *instance;
}

}  // namespace

bool sameMember(std::string_view a, std::string_view b) {
    return engine::equalsIgnoringAsciiCase(a, b);
}

CallOutcome Object::get(std::string_view member, const Arguments& arguments) const {
    if (target_ == nullptr) return badArgument(member, "object variable is nothing");
    return target_->invoke(member, Invoke::Get, arguments);
}

CallOutcome Object::call(std::string_view member, const Arguments& arguments) const {
    if (target_ == nullptr) return badArgument(member, "object variable is nothing");
    return target_->invoke(member, Invoke::Call, arguments);
}

CallResult<Object> Object::getObject(std::string_view member, const Arguments& arguments) const {
    auto result = get(member, arguments);
    if (!result) return result.failure();
    if (auto* object = std::get_if<DispatchRef>(&result.value()); object && *object)
        return Object(*object);
    return badArgument(member, "did not return an object");
}

CallResult<Object> createObject(std::string_view progId) {
    Factory factory;
    {
        Registry& shared = registry();
        std::lock_guard lock(shared.mutex);
        auto found = shared.factories.find(lowered(progId));
        if (found == shared.factories.end())
            return notAvailable("no automation server for " + std::string(progId));
        factory = found->second;
    }
    return factory();
}

void registerFactory(std::string progId, Factory factory) {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    shared.factories[lowered(progId)] = std::move(factory);
}

void unregisterFactory(std::string_view progId) {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    shared.factories.erase(lowered(progId));
}

CallFailure engineFailure(Failure failure) {
    return {CallFailureKind::Engine, std::move(failure.reason), failure.kind};
}

CallFailure noSuchMember(std::string_view member) {
    return {CallFailureKind::NoSuchMember, "object has no member " + std::string(member), {}};
}

CallFailure badArgument(std::string_view member, std::string_view why) {
    return {CallFailureKind::BadArgument, std::string(member) + ": " + std::string(why), {}};
}

CallFailure notAvailable(std::string reason) {
    return {CallFailureKind::NotAvailable, std::move(reason), {}};
}

CallResult<std::int64_t> toInteger(const Variant& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return *integer;
    if (const auto* boolean = std::get_if<bool>(&value)) return *boolean ? -1 : 0;
    if (const auto* real = std::get_if<double>(&value)) {
        if (!std::isfinite(*real) || std::fabs(*real) > 9.2e18)
            return badArgument("number", "out of range");
        return static_cast<std::int64_t>(std::llround(*real));
    }
    return badArgument("number", "not a number");
}

CallResult<std::string> toText(const Variant& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (std::holds_alternative<std::monostate>(value)) return std::string();
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* boolean = std::get_if<bool>(&value))
        return std::string(*boolean ? "True" : "False");
    return badArgument("text", "not text");
}

}  // namespace quillmark::automation
