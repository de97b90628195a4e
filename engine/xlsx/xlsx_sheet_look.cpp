// The look and the sources it hands the worksheet scanner: bytes held in memory first (the
// part's opening, then the rows from the one to resume at), then whatever of the part's
// stream is still to come.
#include "engine/xlsx/xlsx_sheet_look.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/core/cancel.h"
#include "engine/xlsx/xlsx_sheet_skip.h"

namespace quillmark::engine {
namespace {

// The pieces a streamed look reads at a time.
constexpr std::size_t kLookPiece = std::size_t{1} << 20;

// `pieces` (views into what `owner` keeps alive) in turn, then `rest` when there is one.
XmlPullTokenizer::Source piecesThen(std::shared_ptr<const void> owner,
                                    std::vector<std::string_view> pieces,
                                    std::shared_ptr<ZipStream> rest) {
    return [owner = std::move(owner), pieces = std::move(pieces), rest = std::move(rest),
            piece = std::size_t{0},
            at = std::size_t{0}](char* buffer, std::size_t capacity) mutable {
        for (; piece < pieces.size(); ++piece, at = 0) {
            if (at == pieces[piece].size()) continue;
            if (cancelRequested())
                return Outcome<std::size_t>(Failure{FailureKind::Cancelled, "search cancelled"});
            std::size_t count = std::min(capacity, pieces[piece].size() - at);
            std::memcpy(buffer, pieces[piece].data() + at, count);
            at += count;
            return Outcome<std::size_t>(count);
        }
        if (!rest) return Outcome<std::size_t>(std::size_t{0});
        return rest->read(reinterpret_cast<std::uint8_t*>(buffer), capacity);
    };
}

}  // namespace

XmlPullTokenizer::Source streamSource(std::unique_ptr<ZipStream> stream) {
    return piecesThen(nullptr, {}, std::move(stream));
}

Outcome<SheetLook> SheetLook::take(std::unique_ptr<ZipStream> stream, ReopenPart reopen,
                                   std::string_view lowerAnchor, const WorksheetContext& context) {
    auto taken = stream->takeWhole();
    if (!taken) return taken.failure();
    if (taken.value()) {
        auto look = lookInMemory(std::move(*taken.value()), lowerAnchor, context);
        if (look) look.value().reopen_ = std::move(reopen);
        return look;
    }
    SheetLook look;
    look.reopen_ = std::move(reopen);
    if (Status status = look.lookStreamed(std::move(stream), lowerAnchor, context); !status)
        return status.failure();
    return look;
}

Outcome<SheetLook> SheetLook::lookInMemory(ByteBuffer bytes, std::string_view lowerAnchor,
                                           const WorksheetContext& context) {
    SheetLook look;
    look.whole_ = std::make_shared<const ByteBuffer>(std::move(bytes));
    const std::string_view xml(reinterpret_cast<const char*>(look.whole_->data()),
                               look.whole_->size());
    XmlCannotMatchScan scan = xlsxSheetScan(lowerAnchor, context);
    if (scan.wholePart(xml)) {
        look.cannotMatch_ = true;
        return look;
    }
    const auto content = sheetDataContentStart(xml);
    const auto row = content ? worksheetResumeRow(xml, 0, scan.failedAt(), *content) : std::nullopt;
    if (row) {
        look.source_ =
            piecesThen(look.whole_, {xml.substr(0, *content), xml.substr(*row)}, nullptr);
        look.resumed_ = true;
    } else {
        look.source_ = piecesThen(look.whole_, {xml}, nullptr);
    }
    return look;
}

// A part too large to inflate whole is looked at piece by piece as it streams. When a cell may
// match, the scanner goes on from the bytes the look still holds; only when those no longer
// reach back to a row to resume at, or the look could not read the part, is the part inflated
// again. A part the look cannot read is left to the scanner, which fails it as it always has.
Status SheetLook::lookStreamed(std::unique_ptr<ZipStream> stream, std::string_view lowerAnchor,
                               const WorksheetContext& context) {
    XmlCannotMatchScan scan = xlsxSheetScan(lowerAnchor, context);
    std::string opening;
    std::optional<std::size_t> content;
    for (;;) {
        // Read straight into the look's window, after the bytes it holds back.
        auto* room = reinterpret_cast<std::uint8_t*>(scan.room(kLookPiece));
        auto got = stream->read(room, kLookPiece);
        if (!got) {
            if (got.failure().kind == FailureKind::Cancelled) return got.failure();
            auto again = fromStart();
            if (!again) return again.failure();
            source_ = again.take();
            return Done{};
        }
        if (got.value() == 0) {
            if (scan.finish()) {
                cannotMatch_ = true;
                return Done{};
            }
            break;
        }
        const bool going = scan.feedRoom(got.value());
        if (!content && scan.windowStart() == 0) {
            content = sheetDataContentStart(scan.window());
            if (content) opening.assign(scan.window().substr(0, *content));
        }
        if (!going) break;
    }
    std::shared_ptr<ZipStream> rest = std::move(stream);
    const std::string_view window = scan.window();
    const auto row = content
                         ? worksheetResumeRow(window, scan.windowStart(), scan.failedAt(), *content)
                         : std::nullopt;
    if (row) {
        auto held = std::make_shared<std::string>(std::move(opening));
        held->append(window.substr(static_cast<std::size_t>(*row - scan.windowStart())));
        source_ = piecesThen(held, {*held}, rest);
        resumed_ = true;
        return Done{};
    }
    if (scan.windowStart() == 0) {
        auto held = std::make_shared<std::string>(window);
        source_ = piecesThen(held, {*held}, rest);
        return Done{};
    }
    auto again = fromStart();
    if (!again) return again.failure();
    source_ = again.take();
    return Done{};
}

Outcome<XmlPullTokenizer::Source> SheetLook::fromStart() const {
    if (whole_) {
        const std::string_view xml(reinterpret_cast<const char*>(whole_->data()), whole_->size());
        return piecesThen(whole_, {xml}, nullptr);
    }
    auto stream = reopen_();
    if (!stream) return stream.failure();
    return streamSource(stream.take());
}

}  // namespace quillmark::engine
