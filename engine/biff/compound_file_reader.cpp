// Entry point for OLE2 compound files: finds the BIFF workbook stream ("Workbook" for BIFF8,
// "Book" for BIFF5), or tells an encrypted OOXML package from other compound documents.
#include "engine/biff/biff_decryption.h"
#include "engine/biff/biff_reader.h"
#include "engine/container/compound_file.h"
#include "engine/container/encrypted_package.h"
#include "engine/readers.h"

namespace quillmark::engine {
namespace {

// An encrypted .xlsx/.xlsb: the package is decrypted whole into memory (so it stays under
// CompoundFile::kMaxStreamBytes, past which it fails as too large) and opened like any
// other file.
ReaderOutcome openEncryptedPackage(std::shared_ptr<const FileData> data, const CompoundFile& file,
                                   const CompoundFile::Entry& info,
                                   const CompoundFile::Entry& package) {
    auto infoBytes = file.readStream(info);
    if (!infoBytes) return infoBytes.failure();
    auto packageBytes = file.readStream(package);
    if (!packageBytes) return packageBytes.failure();
    auto zip = decryptPackage(infoBytes.value(), packageBytes.value(), biff::kDefaultPassword);
    if (!zip) return zip.failure();
    data.reset();  // the compound file's bytes are no longer needed
    auto opened = openWorkbookData(memoryData(zip.take()), {});
    if (!opened && opened.failure().kind == FailureKind::NotAWorkbook)
        return fail(FailureKind::Corrupt, "decrypted package is no workbook");
    return opened;
}

}  // namespace

ReaderOutcome openCompoundFile(std::shared_ptr<const FileData> data) {
    auto compound = CompoundFile::open(data);
    if (!compound) return compound.failure();
    const CompoundFile& file = compound.value();
    // Some writers leave a stale "Book" beside the "Workbook" they mean.
    const CompoundFile::Entry* stream = file.findStream("Workbook");
    if (!stream) stream = file.findStream("Book");
    if (!stream) {
        const CompoundFile::Entry* info = file.findStream("EncryptionInfo");
        const CompoundFile::Entry* package = file.findStream("EncryptedPackage");
        if (info && package) return openEncryptedPackage(std::move(data), file, *info, *package);
        if (info || package)
            return fail(FailureKind::Encrypted, "password-protected Office Open XML workbook");
        return fail(FailureKind::NotAWorkbook, "compound file without a workbook stream");
    }
    auto workbook = file.openStream(*stream);
    if (!workbook) return workbook.failure();
    return biff::openWorkbookStream(workbook.take());
}

}  // namespace quillmark::engine
