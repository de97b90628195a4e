// Placeholder until the reader is written: the format reports itself unsupported.
#include "readers.h"

namespace quillmark::engine {
ReaderOutcome openFlatOds(std::shared_ptr<const FileData>) { return fail(FailureKind::Unsupported, "flat_ods reader not written yet"); }
}  // namespace quillmark::engine
