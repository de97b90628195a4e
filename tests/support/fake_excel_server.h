// A fake "Excel.Application" for tests of what drives the automation layer: every call is
// logged, and sheets, their matches and their hits are whatever the test says.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation.h"
#include "platform/engine_automation.h"

namespace quillmark::testing {

using namespace quillmark::automation;

struct FakeHit {
    std::string address;  // as the server gives it: "$C$12"
    std::string text;
};

struct FakeSheet {
    std::string name;
    bool hasKeyword = false;
    bool findFails = false;
    std::vector<FakeHit> hits = {};  // what FindAll finds
};

// What one application serves. With `workbooks`, Open takes the sheets of the path opened
// from it, and a path it does not hold is not a workbook.
struct FakeServer {
    std::vector<FakeSheet> sheets;
    const std::map<std::string, std::vector<FakeSheet>>* workbooks = nullptr;
    bool openFails = false;
    bool hasFindAll = true;
    bool findAllFails = false;
    std::vector<std::string> log;
    std::string keywordSeen;
};

inline std::string describe(const Arguments& arguments) {
    std::string text;
    for (const Variant& argument : arguments) {
        if (!text.empty()) text += ",";
        if (const auto* s = std::get_if<std::string>(&argument)) text += *s;
        if (const auto* i = std::get_if<std::int64_t>(&argument)) text += std::to_string(*i);
    }
    return text;
}

// One fake object: every call is logged as "<label>.<member>(<arguments>)".
class FakeObject final : public Dispatch {
  public:
    FakeObject(std::shared_ptr<FakeServer> server, std::string label, int sheet = -1)
        : server_(std::move(server)), label_(std::move(label)), sheet_(sheet) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        server_->log.push_back(label_ + "." + std::string(member) + "(" + describe(arguments) +
                               ")");
        if (label_ == "app") return application(member, arguments);
        if (sameMember(member, "Open")) return open(arguments);
        if (label_ == "hits") return hitCollection(member, arguments);
        if (label_.starts_with("hit")) return hit(member);
        if (sameMember(member, "Count")) return Variant(std::int64_t(server_->sheets.size()));
        if (sameMember(member, "FindAll") && server_->hasFindAll) {
            if (server_->findAllFails) return engineFailure(fail(FailureKind::Truncated, "cut"));
            return object("hits", sheet_);
        }
        if (sameMember(member, "name")) return Variant(server_->sheets[sheet_].name);
        if (sameMember(member, "Application")) return object("app");
        if (sameMember(member, "Cells")) return object("cells", sheet_);
        if (sameMember(member, "find")) {
            server_->keywordSeen = std::get<std::string>(arguments.at(0));
            const FakeSheet& sheet = server_->sheets[sheet_];
            if (sheet.findFails) return engineFailure(fail(FailureKind::Corrupt, "unreadable"));
            return sheet.hasKeyword ? object("range", sheet_) : Variant();
        }
        return noSuchMember(member);
    }

  private:
    CallOutcome open(const Arguments& arguments) {
        if (server_->openFails) return engineFailure(fail(FailureKind::Encrypted, "(RC4)"));
        if (server_->workbooks == nullptr) return Variant();
        auto found = server_->workbooks->find(std::get<std::string>(arguments.at(0)));
        if (found == server_->workbooks->end())
            return engineFailure(fail(FailureKind::NotAWorkbook, "unknown file format"));
        server_->sheets = found->second;
        return Variant();
    }

    CallOutcome application(std::string_view member, const Arguments& arguments) {
        if (sameMember(member, "workbooks")) return object("workbooks");
        if (sameMember(member, "quit")) return Variant();
        if (sameMember(member, "Worksheets")) {
            if (arguments.empty()) return object("worksheets");
            const Variant& key = arguments[0];
            if (const auto* position = std::get_if<std::int64_t>(&key))
                return object("sheet" + std::to_string(*position), int(*position - 1));
            for (std::size_t i = 0; i < server_->sheets.size(); ++i)
                if (server_->sheets[i].name == std::get<std::string>(key))
                    return object("sheet:" + server_->sheets[i].name, int(i));
            return badArgument("Worksheets", "no such sheet");
        }
        return noSuchMember(member);
    }

    CallOutcome hitCollection(std::string_view member, const Arguments& arguments) {
        const auto& hits = server_->sheets[sheet_].hits;
        if (sameMember(member, "Count")) return Variant(std::int64_t(hits.size()));
        if (sameMember(member, "Item"))
            return object("hit" + std::to_string(std::get<std::int64_t>(arguments.at(0))), sheet_);
        return noSuchMember(member);
    }

    CallOutcome hit(std::string_view member) {
        const FakeHit& found = server_->sheets[sheet_].hits.at(std::stoul(label_.substr(3)) - 1);
        if (sameMember(member, "Address")) return Variant(found.address);
        if (sameMember(member, "Text")) return Variant(found.text);
        return noSuchMember(member);
    }

    CallOutcome object(std::string label, int sheet = -1) {
        return Variant(DispatchRef(std::make_shared<FakeObject>(server_, std::move(label), sheet)));
    }

    std::shared_ptr<FakeServer> server_;
    std::string label_;
    int sheet_;
};

// Serves the fake as "Excel.Application": each new application gets the server `make` gives.
inline void serveFake(std::function<std::shared_ptr<FakeServer>()> make) {
    registerFactory(std::string(kExcelApplication), [make]() -> CallResult<Object> {
        return Object(std::make_shared<FakeObject>(make(), "app"));
    });
}

}  // namespace quillmark::testing
