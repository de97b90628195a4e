// The format readers' entry points; openWorkbookData picks one by the file's content.
#pragma once

#include <memory>
#include <string_view>

#include "engine/container/zip_archive.h"
#include "engine/workbook.h"

namespace quillmark::engine {

// Zip packages, told apart by their parts.
ReaderOutcome openXlsx(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip);
ReaderOutcome openXlsb(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip);
ReaderOutcome openOds(std::shared_ptr<const FileData> data, std::unique_ptr<ZipArchive> zip);

// OLE2 compound files: BIFF5/BIFF8 workbooks, and encrypted OOXML packages.
ReaderOutcome openCompoundFile(std::shared_ptr<const FileData> data);
// A bare BIFF2, BIFF3 or BIFF4 worksheet stream (no compound file around it).
ReaderOutcome openBareBiff(std::shared_ptr<const FileData> data, std::string_view fileName);

// XML documents.
ReaderOutcome openFlatOds(std::shared_ptr<const FileData> data);
ReaderOutcome openSpreadsheetMl(std::shared_ptr<const FileData> data);

// Plain text (tab-separated; comma-separated with quotes when the name ends in .csv), as one
// sheet named after the file name without its extension.
ReaderOutcome openText(std::shared_ptr<const FileData> data, std::string_view fileName);

}  // namespace quillmark::engine
