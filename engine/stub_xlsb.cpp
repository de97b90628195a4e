// Placeholder until the reader is written: the format reports itself unsupported.
#include "readers.h"

namespace quillmark::engine {
ReaderOutcome openXlsb(std::shared_ptr<const FileData>, std::unique_ptr<ZipArchive>) { return fail(FailureKind::Unsupported, "xlsb reader not written yet"); }
}  // namespace quillmark::engine
