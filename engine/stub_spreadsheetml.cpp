// Placeholder until the reader is written: the format reports itself unsupported.
#include "readers.h"

namespace quillmark::engine {
ReaderOutcome openSpreadsheetMl(std::shared_ptr<const FileData>) { return fail(FailureKind::Unsupported, "spreadsheetml reader not written yet"); }
}  // namespace quillmark::engine
