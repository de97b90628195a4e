// Entry point for BIFF streams saved as files of their own (BIFF2-BIFF4 worksheets and
// workbooks, and the odd bare BIFF5/BIFF8 stream).
#include "engine/biff/biff_reader.h"
#include "engine/readers.h"

namespace quillmark::engine {

ReaderOutcome openBareBiff(std::shared_ptr<const FileData> data, std::string_view fileName) {
    return biff::openBareStream(std::move(data), fileName);
}

}  // namespace quillmark::engine
