// Picks the reader for a file by its first bytes and, for zip packages, by the parts inside.
#include <algorithm>
#include <cstring>

#include "engine/readers.h"
#include "engine/workbook.h"

namespace quillmark::engine {
namespace {

constexpr std::uint8_t kCompoundFileMagic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool startsWith(Bytes bytes, const std::uint8_t* magic, std::size_t length) {
    return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
}

// BOF records of BIFF2 (0x0009), BIFF3 (0x0209), BIFF4 (0x0409) and BIFF5/8 (0x0809), the
// first record of a worksheet stream saved without a compound file around it.
bool looksLikeBareBiff(Bytes bytes) {
    if (bytes.size() < 4 || bytes[0] != 0x09) return false;
    return bytes[1] == 0x00 || bytes[1] == 0x02 || bytes[1] == 0x04 || bytes[1] == 0x08;
}

std::string_view head(Bytes bytes, std::size_t limit) {
    return {reinterpret_cast<const char*>(bytes.data()), std::min(bytes.size(), limit)};
}

bool looksLikeText(Bytes bytes) {
    std::string_view start = head(bytes, 1 << 16);
    if (bytes.size() >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return true;  // UTF-16 with a byte order mark
    return start.find('\0') == std::string_view::npos;
}

ReaderOutcome openZipPackage(std::shared_ptr<const FileData> data) {
    auto zip = ZipArchive::open(data);
    if (!zip) return zip.failure();
    ZipArchive& archive = *zip.value();
    if (archive.contains("xl/workbook.bin")) return openXlsb(std::move(data), zip.take());
    if (archive.contains("content.xml") && !archive.contains("[Content_Types].xml")) {
        auto mimetype = archive.readPart("mimetype", 4096);
        if (mimetype && mimetype.value().find("spreadsheet") == std::string::npos)
            return fail(FailureKind::NotAWorkbook,
                        "an OpenDocument file that is not a spreadsheet");
        return openOds(std::move(data), zip.take());
    }
    if (archive.contains("[Content_Types].xml")) return openXlsx(std::move(data), zip.take());
    return fail(FailureKind::NotAWorkbook, "a zip archive that is no workbook package");
}

ReaderOutcome openXmlDocument(std::shared_ptr<const FileData> data, Bytes first) {
    std::string_view start = head(first, 1 << 14);
    if (start.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string_view::npos)
        return openSpreadsheetMl(std::move(data));
    if (start.find("urn:oasis:names:tc:opendocument:xmlns:office") != std::string_view::npos)
        return openFlatOds(std::move(data));
    return fail(FailureKind::NotAWorkbook, "an XML document that is no workbook");
}

bool looksLikeXml(Bytes bytes) {
    std::string_view start = head(bytes, 1 << 10);
    if (start.substr(0, 3) == "\xEF\xBB\xBF") start.remove_prefix(3);
    std::size_t first = start.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && start.substr(first, 5) == "<?xml";
}

}  // namespace

ReaderOutcome openWorkbookData(std::shared_ptr<const FileData> data, std::string_view fileName) {
    // Format detection looks at the first 64 KiB at most.
    auto first = data->head(1 << 16);
    if (!first) return first.failure();
    Bytes bytes = first.value();
    if (bytes.empty()) return fail(FailureKind::NotAWorkbook, "empty file");
    if (looksLikeZip(bytes)) return openZipPackage(std::move(data));
    if (startsWith(bytes, kCompoundFileMagic, sizeof kCompoundFileMagic))
        return openCompoundFile(std::move(data));
    if (looksLikeBareBiff(bytes)) return openBareBiff(std::move(data), fileName);
    if (looksLikeXml(bytes)) {
        auto xml = openXmlDocument(data, bytes);
        if (xml || xml.failure().kind != FailureKind::NotAWorkbook) return xml;
    }
    if (looksLikeText(bytes)) return openText(std::move(data), fileName);
    return fail(FailureKind::NotAWorkbook, "unknown file format");
}

ReaderOutcome openWorkbook(const std::string& path) {
    auto data = loadFile(path);
    if (!data) return data.failure();
    std::size_t slash = path.find_last_of('/');
    std::string_view fileName =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    return openWorkbookData(data.take(), fileName);
}

}  // namespace quillmark::engine
