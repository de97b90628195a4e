// Entry point for OLE2 compound files: finds the BIFF workbook stream ("Workbook" for BIFF8,
// "Book" for BIFF5), or tells an encrypted OOXML package from other compound documents.
#include "biff_reader.h"
#include "compound_file.h"
#include "readers.h"

namespace quillmark::engine {

ReaderOutcome openCompoundFile(std::shared_ptr<const FileData> data) {
    auto compound = CompoundFile::open(data->bytes());
    if (!compound) return compound.failure();
    const CompoundFile& file = compound.value();
    // Some writers leave a stale "Book" beside the "Workbook" they mean.
    const CompoundFile::Entry* stream = file.findStream("Workbook");
    if (!stream) stream = file.findStream("Book");
    if (!stream) {
        if (file.findStream("EncryptionInfo") || file.findStream("EncryptedPackage"))
            return fail(FailureKind::Encrypted, "password-protected Office Open XML workbook");
        return fail(FailureKind::NotAWorkbook, "compound file without a workbook stream");
    }
    // Most writers lay the stream out in consecutive sectors: read it in place then.
    if (auto inPlace = file.contiguousStream(*stream))
        return biff::openWorkbookStream(std::move(data), {}, *inPlace);
    auto bytes = file.readStream(*stream);
    if (!bytes) return bytes.failure();
    return biff::openWorkbookStream(std::move(data), bytes.take(), {});
}

}  // namespace quillmark::engine
