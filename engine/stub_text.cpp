// Placeholder until the reader is written: the format reports itself unsupported.
#include "readers.h"

namespace quillmark::engine {
ReaderOutcome openText(std::shared_ptr<const FileData>, std::string_view) { return fail(FailureKind::Unsupported, "text reader not written yet"); }
}  // namespace quillmark::engine
