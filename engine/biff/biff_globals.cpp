// Reads the records of a BIFF5/BIFF8 workbook globals substream that searching needs.
#include "engine/biff/biff_globals.h"

#include "engine/core/byte_order.h"

namespace quillmark::engine::biff {
namespace {

constexpr std::uint16_t kSelfReferenceMarker = 0x0401;  // SUPBOOK cch for this workbook
constexpr std::uint16_t kAddInMarker = 0x3A01;          // SUPBOOK cch for add-in functions
constexpr std::uint16_t kBuiltinNameFlag = 0x0020;
constexpr std::uint8_t kDialogFlag = 0x10;  // WSBOOL fDialog, first byte
constexpr std::size_t kKindProbeRecords = 256;

const char* builtinName(std::uint32_t code) {
    static const char* const kNames[] = {
        "Consolidate_Area", "Auto_Open",       "Auto_Close",   "Extract",        "Database",
        "Criteria",         "Print_Area",      "Print_Titles", "Recorder",       "Data_Form",
        "Auto_Activate",    "Auto_Deactivate", "Sheet_Title",  "_FilterDatabase"};
    return code < std::size(kNames) ? kNames[code] : nullptr;
}

// A SUPBOOK's encoded file path ([MS-XLS] 2.5.277 VirtualPath): control characters stand for
// a drive, the root, a directory separator or the parent directory.
std::string decodeVirtualPath(const std::string& encoded) {
    if (encoded.empty() || encoded[0] != '\x01') return encoded;
    std::string path;
    for (std::size_t i = 1; i < encoded.size(); ++i) {
        switch (encoded[i]) {
            case '\x01':  // a drive letter follows ("C" for C:), or "@" for a network share
                if (i + 1 < encoded.size()) {
                    ++i;
                    if (encoded[i] == '@') {
                        path += "\\\\";
                    } else {
                        path += encoded[i];
                        path += ':';
                    }
                }
                break;
            case '\x02':
            case '\x03':
                path += '\\';
                break;
            case '\x04':
                path += "..\\";
                break;
            case '\x05':  // a URL: its length, then the text itself
                if (i + 1 < encoded.size()) ++i;
                break;
            case '\x06':
            case '\x07':
            case '\x08':
                break;  // the program's start-up or library folders
            default:
                path += encoded[i];
        }
    }
    return path;
}

class GlobalsReader {
  public:
    GlobalsReader(RecordCursor& cursor, Globals& globals) : cursor_(cursor), globals_(globals) {}

    void onRecord(const Record& record);

  private:
    bool biff8() const { return globals_.version == Version::Biff8; }
    void readCodePage(Bytes data);
    void readBoundSheet(Bytes data);
    void readFormat(Bytes data);
    void readCellFormat(Bytes data);
    void readName(Bytes data);
    void readSupportingBook(Bytes data);
    void readExternName(Bytes data);
    void readExternSheet(const Record& record);
    std::string text_;

    RecordCursor& cursor_;
    Globals& globals_;
    std::size_t externalBooks_ = 0;
};

void GlobalsReader::onRecord(const Record& record) {
    switch (record.type) {
        case record::CodePage:
            readCodePage(record.data);
            break;
        case record::DateMode:
            globals_.styles.date1904 = readU16At(record.data, 0) == 1;
            break;
        case record::BoundSheet:
            readBoundSheet(record.data);
            break;
        case record::Format:
            readFormat(record.data);
            break;
        case record::Xf:
            readCellFormat(record.data);
            break;
        case record::Sst:
            if (!globals_.sstOffset) globals_.sstOffset = record.offset;
            break;
        case record::Name:
            readName(record.data);
            break;
        case record::SupBook:
            readSupportingBook(record.data);
            break;
        case record::ExternName:
            readExternName(record.data);
            break;
        case record::ExternSheet:
            readExternSheet(record);
            break;
        default:
            break;
    }
}

void GlobalsReader::readCodePage(Bytes data) {
    if (data.size() < 2) return;
    globals_.decoder = std::make_unique<CodePageDecoder>(readU16(data.data()));
}

void GlobalsReader::readBoundSheet(Bytes data) {
    // BOUNDSHEET8: stream position of the sheet's BOF, visibility, type, name.
    if (data.size() < 7) return;
    SheetEntry entry;
    entry.bofOffset = readU32(data.data());
    entry.info.hidden = (data[4] & 0x03) != 0;
    switch (data[5]) {
        case 1:
            entry.info.kind = SheetKind::MacroSheet;
            break;
        case 2:
            entry.info.kind = SheetKind::Chart;
            break;
        case 6:
            entry.listed = false;
            break;  // a Visual Basic module
        default:
            entry.info.kind = SheetKind::Worksheet;
            break;
    }
    std::size_t offset = 6;
    if (biff8())
        readUnicodeString(data, offset, 1, entry.info.name);
    else
        readByteString(data, offset, 1, *globals_.decoder, entry.info.name);
    globals_.sheets.push_back(std::move(entry));
}

void GlobalsReader::readFormat(Bytes data) {
    if (data.size() < 3) return;
    text_.clear();
    std::size_t offset = 2;
    if (biff8())
        readUnicodeString(data, offset, 2, text_);
    else
        readByteString(data, offset, 1, *globals_.decoder, text_);
    globals_.styles.addFormat(readU16(data.data()), text_);
}

void GlobalsReader::readCellFormat(Bytes data) {
    if (data.size() >= 4) globals_.styles.addCellFormat(readU16(data.data() + 2));
}

void GlobalsReader::readName(Bytes data) {
    // NAME: options, shortcut key, name length, formula length, ..., then the name itself
    // (BIFF8 with a flags byte before the characters). Built-in names store a one-character
    // code for their name.
    std::string name;
    if (data.size() >= 15) {
        std::uint16_t options = readU16(data.data());
        std::size_t count = data[3];
        std::size_t offset = 14;
        std::uint32_t firstCode = 0;
        if (biff8()) {
            bool highByte = data[offset++] & 0x01;
            std::size_t width = highByte ? 2 : 1;
            count = std::min(count, (data.size() - offset) / width);
            if (count > 0) firstCode = highByte ? readU16(data.data() + offset) : data[offset];
            appendBiff8Characters(data.data() + offset, count, highByte, name);
        } else {
            count = std::min(count, data.size() - offset);
            if (count > 0) firstCode = data[offset];
            globals_.decoder->append(data.data() + offset, count, name);
        }
        if ((options & kBuiltinNameFlag) && count > 0) {
            if (const char* builtin = builtinName(firstCode)) name = builtin;
        }
    }
    globals_.definedNames.push_back(std::move(name));
}

void GlobalsReader::readSupportingBook(Bytes data) {
    SupportingBook book;
    if (data.size() >= 4) {
        std::uint16_t sheetCount = readU16(data.data());
        std::uint16_t marker = readU16(data.data() + 2);
        if (marker == kSelfReferenceMarker) {
            book.kind = SupportingBook::Kind::Self;
        } else if (marker == kAddInMarker) {
            book.kind = SupportingBook::Kind::AddIn;
        } else if (data.size() >= 5) {
            book.kind = SupportingBook::Kind::External;
            book.externalNumber = ++externalBooks_;
            // The encoded path (a flags byte and `marker` characters), then the sheet names.
            bool highByte = data[4] & 0x01;
            std::size_t width = highByte ? 2 : 1;
            std::size_t count = std::min<std::size_t>(marker, (data.size() - 5) / width);
            std::string encoded;
            appendBiff8Characters(data.data() + 5, count, highByte, encoded);
            book.path = decodeVirtualPath(encoded);
            std::size_t offset = 5 + std::size_t{marker} * width;
            for (std::uint16_t i = 0; i < sheetCount && offset < data.size(); ++i) {
                std::string name;
                if (!readUnicodeString(data, offset, 2, name)) break;
                book.sheetNames.push_back(std::move(name));
            }
        }
    }
    globals_.books.push_back(std::move(book));
}

void GlobalsReader::readExternName(Bytes data) {
    // EXTERNNAME: options, four bytes the search does not need, then the name.
    std::string name;
    std::size_t offset = 6;
    if (biff8())
        readUnicodeString(data, offset, 1, name);
    else
        readByteString(data, offset, 1, *globals_.decoder, name);
    if (biff8()) {
        if (!globals_.books.empty()) globals_.books.back().names.push_back(std::move(name));
    } else if (!globals_.biff5ExternNames.empty()) {
        globals_.biff5ExternNames.back().push_back(std::move(name));
    }
}

void GlobalsReader::readExternSheet(const Record& record) {
    if (biff8()) {
        // A count of XTIs, six bytes each, possibly continued in CONTINUE records.
        ContinuedReader reader(cursor_, record);
        std::uint16_t count;
        if (!reader.readU16(count)) return;
        for (std::uint16_t i = 0; i < count; ++i) {
            std::uint16_t book, first, last;
            if (!reader.readU16(book) || !reader.readU16(first) || !reader.readU16(last)) break;
            globals_.externSheets.push_back(
                {book, static_cast<std::int16_t>(first), static_cast<std::int16_t>(last)});
        }
        return;
    }
    // BIFF5: one record per sheet, its name encoded behind a type character: 0x02 and 0x03
    // introduce a sheet of this workbook; 0x01 another workbook, whose sheets the formula
    // text leaves unnamed.
    std::string name;
    Bytes data = record.data;
    if (data.size() >= 2 && (data[1] == 0x02 || data[1] == 0x03)) {
        std::size_t count = std::min<std::size_t>(data[0] > 0 ? data[0] - 1 : 0, data.size() - 2);
        globals_.decoder->append(data.data() + 2, count, name);
    }
    globals_.biff5ExternSheets.push_back(std::move(name));
    globals_.biff5ExternNames.emplace_back();
}

// One worksheet's kind from its first records.
Status refineSheetKind(RecordCursor& cursor, SheetEntry& sheet) {
    auto bof = cursor.next();
    if (!bof || bof->type != record::Bof) return readStatus(cursor);
    std::uint16_t substream = readU16At(bof->data, 2);
    if (substream == kChartSubstream) sheet.info.kind = SheetKind::Chart;
    if (substream == kMacroSheetSubstream) sheet.info.kind = SheetKind::MacroSheet;
    if (substream != kWorksheetSubstream) return Done{};
    // WSBOOL sits among the first records of a sheet, before its cells.
    for (std::size_t i = 0; i < kKindProbeRecords; ++i) {
        auto record = cursor.next();
        if (!record || record->type == record::Eof || record->type == 0x0200) break;
        if (record->type == record::WsBool && !record->data.empty() &&
            (record->data[0] & kDialogFlag)) {
            sheet.info.kind = SheetKind::Dialog;
            break;
        }
    }
    return readStatus(cursor);
}

}  // namespace

Version versionOfBof(const Record& bof) {
    switch (bof.type) {
        case record::Bof2:
            return Version::Biff2;
        case record::Bof3:
            return Version::Biff3;
        case record::Bof4:
            return Version::Biff4;
        default:
            break;
    }
    std::uint16_t version = readU16At(bof.data, 0);
    if (version == 0x0600) return Version::Biff8;
    if (version == 0x0500) return Version::Biff5;
    return bof.data.size() >= 16 ? Version::Biff8 : Version::Biff5;
}

Outcome<Globals> readGlobals(const FileData& stream, RecordDecrypter* decrypter) {
    RecordCursor cursor(stream, 0, decrypter);
    auto bof = cursor.next();
    if (!bof || bof->type != record::Bof) {
        if (Status read = readStatus(cursor); !read) return read.failure();
        return fail(FailureKind::Corrupt, "workbook stream does not start with a BOF record");
    }
    Globals globals;
    globals.version = versionOfBof(*bof);
    GlobalsReader reader(cursor, globals);
    while (auto record = cursor.next()) {
        if (record->type == record::Eof) return globals;
        if (record->type == record::FilePass && !decrypter) {
            globals.filePass = FilePass{{record->data.begin(), record->data.end()},
                                        record->offset + 4 + record->data.size()};
            return globals;
        }
        reader.onRecord(*record);
    }
    if (Status read = readStatus(cursor); !read) return read.failure();
    // Globals cut short still name their sheets; each sheet then fails on its own if its
    // substream is missing.
    if (globals.sheets.empty())
        return fail(FailureKind::Truncated, "workbook globals end before their EOF record");
    return globals;
}

Status refineSheetKinds(const FileData& stream, RecordDecrypter* decrypter,
                        std::vector<SheetEntry>& sheets) {
    for (SheetEntry& sheet : sheets) {
        if (sheet.info.kind != SheetKind::Worksheet || !sheet.listed) continue;
        RecordCursor cursor(stream, sheet.bofOffset, decrypter);
        if (Status refined = refineSheetKind(cursor, sheet); !refined) return refined;
    }
    return Done{};
}

}  // namespace quillmark::engine::biff
