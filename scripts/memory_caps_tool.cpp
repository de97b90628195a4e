// Helper of scripts/memory-caps.sh, built by it with the system compiler and zlib alone:
//   memory_caps_tool make FOLDER             writes the hostile workbooks and a healthy one
//   memory_caps_tool make-large-xls FILE N   writes a .xls of N sheets of about 75 MB each
//   memory_caps_tool measure SECONDS OUTPUT CMD...
//       runs CMD with its standard output in the file OUTPUT, killing it after SECONDS, and
//       prints "peak-KB wall-milliseconds cpu-milliseconds exit-status"
// The hostile files claim far more than they hold: a sheet part that inflates to gigabytes,
// nested XML entities, BIFF records with huge counts and spans, a whole-grid dimension and
// an OpenDocument table of a billion repeated cells.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

void putU16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value));
    out.push_back(static_cast<char>(value >> 8));
}

void putU32(Bytes& out, std::uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

// ---- zip packages ----------------------------------------------------------------------

struct ZipEntry {
    std::string name;
    Bytes stored;              // the bytes as they sit in the archive
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint32_t crc = 0;
    std::uint32_t size = 0;  // inflated
};

ZipEntry storedEntry(const std::string& name, const Bytes& content) {
    const auto* bytes = reinterpret_cast<const Bytef*>(content.data());
    return {name, content, 0, static_cast<std::uint32_t>(crc32(0, bytes, content.size())),
            static_cast<std::uint32_t>(content.size())};
}

Bytes zipArchive(const std::vector<ZipEntry>& entries) {
    Bytes archive, directory;
    for (const ZipEntry& entry : entries) {
        const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
        auto common = [&](Bytes& out) {
            putU16(out, 20);  // version needed
            putU16(out, 0);   // flags
            putU16(out, entry.method);
            putU32(out, 0x00210000);  // 1980-01-01 00:00
            putU32(out, entry.crc);
            putU32(out, static_cast<std::uint32_t>(entry.stored.size()));
            putU32(out, entry.size);
            putU16(out, static_cast<std::uint32_t>(entry.name.size()));
            putU16(out, 0);  // extra field
        };
        putU32(archive, 0x04034B50);
        common(archive);
        archive += entry.name;
        archive += entry.stored;

        putU32(directory, 0x02014B50);
        putU16(directory, 20);  // made by
        common(directory);
        putU16(directory, 0);  // comment
        putU16(directory, 0);  // disk
        putU16(directory, 0);  // internal attributes
        putU32(directory, 0);  // external attributes
        putU32(directory, offset);
        directory += entry.name;
    }
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    putU32(archive, 0x06054B50);
    putU16(archive, 0);
    putU16(archive, 0);
    putU16(archive, static_cast<std::uint32_t>(entries.size()));
    putU16(archive, static_cast<std::uint32_t>(entries.size()));
    putU32(archive, static_cast<std::uint32_t>(directory.size()));
    putU32(archive, directoryOffset);
    putU16(archive, 0);
    return archive;
}

// Raw deflate of `input`, ending with a full flush (or the final block when `last`), so that
// compressed pieces made this way can be joined into one stream.
Bytes deflatePiece(z_stream& stream, const Bytes& input, bool last) {
    Bytes output(deflateBound(&stream, input.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = reinterpret_cast<Bytef*>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    deflate(&stream, last ? Z_FINISH : Z_FULL_FLUSH);
    output.resize(output.size() - stream.avail_out);
    return output;
}

// A part made of `head`, `repeats` copies of `body` and `tail`, deflated without ever holding
// the whole: after a full flush the same input always deflates to the same bytes.
ZipEntry repeatedEntry(const std::string& name, const Bytes& head, const Bytes& body,
                       std::uint32_t repeats, const Bytes& tail) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes stored = deflatePiece(stream, head, false);
    const Bytes first = deflatePiece(stream, body, false);
    const Bytes again = deflatePiece(stream, body, false);
    stored += first;
    for (std::uint32_t copy = 1; copy < repeats; ++copy) stored += again;
    stored += deflatePiece(stream, tail, true);
    deflateEnd(&stream);

    auto crcOf = [](const Bytes& bytes) {
        return crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
    };
    uLong crc = crcOf(head);
    const uLong bodyCrc = crcOf(body);
    for (std::uint32_t copy = 0; copy < repeats; ++copy)
        crc = crc32_combine(crc, bodyCrc, static_cast<z_off_t>(body.size()));
    crc = crc32_combine(crc, crcOf(tail), static_cast<z_off_t>(tail.size()));
    const std::uint64_t size = head.size() + std::uint64_t{body.size()} * repeats + tail.size();
    return {name, stored, 8, static_cast<std::uint32_t>(crc), static_cast<std::uint32_t>(size)};
}

const char* const kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelationshipBase =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// An xlsx package with these worksheet parts (xl/worksheets/sheetN.xml, in order) and,
// when given, a shared string part.
Bytes xlsxPackage(const std::vector<ZipEntry>& sheets, const Bytes& sharedStrings) {
    std::string types =
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>)";
    std::string packageRelationships =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type=")" +
        std::string(kRelationshipBase) +
        R"(/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
    std::string workbook =
        std::string(R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns=")") + kMainNamespace +
        R"(" xmlns:r=")" + kRelationshipBase + R"("><sheets>)";
    std::string relationships =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    for (std::size_t index = 1; index <= sheets.size(); ++index) {
        const std::string number = std::to_string(index);
        workbook += R"(<sheet name="Sheet)" + number + R"(" sheetId=")" + number +
                    R"(" r:id="rId)" + number + R"("/>)";
        relationships += R"(<Relationship Id="rId)" + number + R"(" Type=")" + kRelationshipBase +
                         R"(/worksheet" Target="worksheets/sheet)" + number + R"(.xml"/>)";
    }
    if (!sharedStrings.empty())
        relationships += R"(<Relationship Id="rIdS" Type=")" + std::string(kRelationshipBase) +
                         R"(/sharedStrings" Target="sharedStrings.xml"/>)";
    workbook += "</sheets></workbook>";
    relationships += "</Relationships>";

    std::vector<ZipEntry> entries{storedEntry("[Content_Types].xml", types),
                                  storedEntry("_rels/.rels", packageRelationships),
                                  storedEntry("xl/workbook.xml", workbook),
                                  storedEntry("xl/_rels/workbook.xml.rels", relationships)};
    if (!sharedStrings.empty())
        entries.push_back(storedEntry("xl/sharedStrings.xml", sharedStrings));
    entries.insert(entries.end(), sheets.begin(), sheets.end());
    return zipArchive(entries);
}

std::string worksheet(const std::string& inside, const std::string& prolog = "") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>)" + prolog + R"(<worksheet xmlns=")" +
           kMainNamespace + R"(">)" + inside + "</worksheet>";
}

std::string inlineCell(const std::string& reference, const std::string& text) {
    return R"(<c r=")" + reference + R"(" t="inlineStr"><is><t>)" + text + "</t></is></c>";
}

// A sheet part inflating to about 3.5 GB of well-formed rows, none holding the keyword.
Bytes zipBomb() {
    const std::string row = "<row><c><v>1</v></c></row>";
    std::string body;
    while (body.size() < (1u << 20)) body += row;
    const std::string head =
        std::string(R"(<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns=")") +
        kMainNamespace + R"("><sheetData>)";
    return xlsxPackage(
        {repeatedEntry("xl/worksheets/sheet1.xml", head, body, 3400, "</sheetData></worksheet>")},
        "");
}

// Ten levels of ten-fold entities: a billion characters if anything expanded them.
std::string entityDeclarations(const std::string& root) {
    std::string prolog = "<!DOCTYPE " + root + R"( [<!ENTITY e0 "lollollollol">)";
    for (int level = 1; level <= 9; ++level) {
        prolog += "<!ENTITY e" + std::to_string(level) + " \"";
        for (int copy = 0; copy < 10; ++copy) prolog += "&e" + std::to_string(level - 1) + ";";
        prolog += "\">";
    }
    return prolog + "]>";
}

Bytes entityExpansion() {
    const std::string sharedStrings = R"(<?xml version="1.0" encoding="UTF-8"?>)" +
                                      entityDeclarations("sst") + R"(<sst xmlns=")" +
                                      kMainNamespace +
                                      R"(" count="1" uniqueCount="1"><si><t>&e9;</t></si></sst>)";
    const std::string fromTable =
        worksheet(R"(<sheetData><row r="1"><c r="A1" t="s"><v>0</v></c></row></sheetData>)");
    const std::string inSheet =
        worksheet("<sheetData><row r=\"1\">" + inlineCell("A1", "&e9;") + "</row></sheetData>",
                  entityDeclarations("worksheet"));
    return xlsxPackage({storedEntry("xl/worksheets/sheet1.xml", fromTable),
                        storedEntry("xl/worksheets/sheet2.xml", inSheet)},
                       sharedStrings);
}

Bytes wholeGridDimension() {
    const std::string sheet = worksheet(
        R"(<dimension ref="A1:XFD1048576"/><cols><col min="1" max="16384" width="9"/></cols><sheetData>)"
        "<row r=\"1\">" +
        inlineCell("A1", "first corner") +
        "</row>"
        "<row r=\"1048576\">" +
        inlineCell("XFD1048576", "far corner") +
        "</row></sheetData>"
        R"(<mergeCells count="1"><mergeCell ref="B2:XFD1048575"/></mergeCells>)");
    return xlsxPackage({storedEntry("xl/worksheets/sheet1.xml", sheet)}, "");
}

Bytes healthyWorkbook() {
    const std::string sheet = worksheet("<sheetData><row r=\"2\">" +
                                        inlineCell("B2", "a needle here") + "</row></sheetData>");
    return xlsxPackage({storedEntry("xl/worksheets/sheet1.xml", sheet)}, "");
}

// A thousand columns repeated over a million rows of one non-empty cell: a billion cells.
Bytes billionCellsOds() {
    const std::string content =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
        R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
        R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">)"
        R"(<office:body><office:spreadsheet><table:table table:name="Sheet1">)"
        R"(<table:table-column table:number-columns-repeated="1000"/>)"
        R"(<table:table-row table:number-rows-repeated="1000000">)"
        R"(<table:table-cell table:number-columns-repeated="1000" office:value-type="string">)"
        R"(<text:p>filler</text:p></table:table-cell></table:table-row>)"
        R"(<table:table-row table:number-rows-repeated="48575"><table:table-cell )"
        R"(table:number-columns-repeated="16384"/></table:table-row>)"
        R"(<table:table-row><table:table-cell office:value-type="float" office:value="7">)"
        R"(<text:p>7</text:p></table:table-cell></table:table-row>)"
        R"(</table:table></office:spreadsheet></office:body></office:document-content>)";
    const std::string manifest =
        R"(<?xml version="1.0" encoding="UTF-8"?><manifest:manifest )"
        R"(xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">)"
        R"(<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>)"
        R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>)"
        R"(</manifest:manifest>)";
    return zipArchive({storedEntry("mimetype", "application/vnd.oasis.opendocument.spreadsheet"),
                       storedEntry("META-INF/manifest.xml", manifest),
                       storedEntry("content.xml", content)});
}

// ---- BIFF8 in a compound file ------------------------------------------------------------

void record(Bytes& stream, std::uint16_t type, const Bytes& data) {
    putU16(stream, type);
    putU16(stream, static_cast<std::uint32_t>(data.size()));
    stream += data;
}

Bytes bof(std::uint16_t substream) {
    Bytes data;
    putU16(data, 0x0600);  // BIFF8
    putU16(data, substream);
    putU16(data, 0x0DBB);  // build
    putU16(data, 0x07CC);  // year
    putU32(data, 0);
    putU32(data, 0x00000006);
    return data;
}

// A workbook stream whose records claim far more than they hold: a shared string table of
// 2^31 strings, a sheet of 65,536 x 256 cells, MULRK runs past their record, string
// references past the table, and a row of every column repeated for every row.
Bytes hugeClaimsStream() {
    Bytes globals;
    record(globals, 0x0809, bof(0x0005));
    record(globals, 0x0042, Bytes{'\xB0', '\x04'});  // CODEPAGE 1200
    Bytes sheetName;
    const std::size_t boundSheetAt = globals.size();
    putU32(sheetName, 0);  // patched below
    sheetName += Bytes{'\0', '\0', '\x06', '\0'};
    sheetName += "Claims";
    record(globals, 0x0085, sheetName);
    Bytes sst;
    putU32(sst, 0x80000000u);  // total
    putU32(sst, 0x80000000u);  // unique
    for (const char* text : {"first", "second"}) {
        putU16(sst, static_cast<std::uint32_t>(std::strlen(text)));
        sst.push_back('\0');
        sst += text;
    }
    record(globals, 0x00FC, sst);
    record(globals, 0x000A, "");

    Bytes sheet;
    record(sheet, 0x0809, bof(0x0010));
    Bytes dimensions;
    putU32(dimensions, 0);
    putU32(dimensions, 65536);
    putU16(dimensions, 0);
    putU16(dimensions, 256);
    putU16(dimensions, 0);
    record(sheet, 0x0200, dimensions);
    for (std::uint32_t row = 0; row < 1000; ++row) {
        Bytes mulrk;  // claims columns 0..65535 with two cells' worth of bytes
        putU16(mulrk, row * 64);
        putU16(mulrk, 0);
        for (int cell = 0; cell < 2; ++cell) {
            putU16(mulrk, 15);
            putU32(mulrk, (row << 2) | 0x2);  // an integer RK
        }
        putU16(mulrk, 0xFFFF);
        record(sheet, 0x00BD, mulrk);
        Bytes labelSst;
        putU16(labelSst, row * 64 + 1);
        putU16(labelSst, 255);
        putU16(labelSst, 15);
        putU32(labelSst, 0x7FFFFFF0u + (row & 0xF));  // past the two strings there are
        record(sheet, 0x00FD, labelSst);
    }
    Bytes mulblank;
    putU16(mulblank, 65535);
    putU16(mulblank, 0);
    putU16(mulblank, 15);
    putU16(mulblank, 255);
    record(sheet, 0x00BE, mulblank);
    record(sheet, 0x000A, "");

    const std::uint32_t sheetOffset = static_cast<std::uint32_t>(globals.size());
    std::memcpy(&globals[boundSheetAt + 4], &sheetOffset, 4);  // little-endian host
    return globals + sheet;
}

// A version 3 compound file (512-byte sectors) holding one stream named "Workbook":
// sector 0 the allocation table, sector 1 the directory, the stream after them.
Bytes compoundFile(Bytes stream) {
    constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD, kFree = 0xFFFFFFFF;
    if (stream.size() < 4096) stream.resize(4096, '\0');  // past the mini stream cutoff
    const std::uint32_t streamSectors = static_cast<std::uint32_t>((stream.size() + 511) / 512);
    if (streamSectors + 2 > 128) {
        std::cerr << "workbook stream too large for one allocation table sector\n";
        std::exit(2);
    }
    Bytes header;
    header += "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    header.append(16, '\0');
    putU16(header, 0x003E);
    putU16(header, 3);
    putU16(header, 0xFFFE);
    putU16(header, 9);  // 512-byte sectors
    putU16(header, 6);  // 64-byte mini sectors
    header.append(6, '\0');
    putU32(header, 0);  // directory sectors (version 3)
    putU32(header, 1);  // allocation table sectors
    putU32(header, 1);  // first directory sector
    putU32(header, 0);
    putU32(header, 4096);
    putU32(header, kEnd);  // no mini allocation table
    putU32(header, 0);
    putU32(header, kEnd);  // no DIFAT sectors
    putU32(header, 0);
    putU32(header, 0);  // the allocation table is sector 0
    while (header.size() < 512) putU32(header, kFree);

    Bytes fat;
    putU32(fat, kFatSector);
    putU32(fat, kEnd);
    for (std::uint32_t sector = 0; sector < streamSectors; ++sector)
        putU32(fat, sector + 1 < streamSectors ? sector + 3 : kEnd);
    while (fat.size() < 512) putU32(fat, kFree);

    auto entry = [](const std::string& name, std::uint8_t type, std::uint32_t child,
                    std::uint32_t start, std::uint32_t size) {
        Bytes bytes;
        for (char c : name) putU16(bytes, static_cast<unsigned char>(c));
        putU16(bytes, 0);
        bytes.resize(64, '\0');
        putU16(bytes, static_cast<std::uint32_t>(name.size() + 1) * 2);
        bytes.push_back(static_cast<char>(type));
        bytes.push_back('\x01');  // black
        putU32(bytes, 0xFFFFFFFF);
        putU32(bytes, 0xFFFFFFFF);
        putU32(bytes, child);
        bytes.append(16 + 4 + 16, '\0');  // class id, state bits, times
        putU32(bytes, start);
        putU32(bytes, size);
        putU32(bytes, 0);
        return bytes;
    };
    Bytes directory =
        entry("Root Entry", 5, 1, kEnd, 0) +
        entry("Workbook", 2, 0xFFFFFFFF, 2, static_cast<std::uint32_t>(stream.size()));
    while (directory.size() < 512) directory += entry("", 0, 0xFFFFFFFF, 0, 0);

    stream.resize(std::size_t{streamSectors} * 512, '\0');
    return header + fat + directory + stream;
}

// ---- a large BIFF8 workbook, written as it is made ----------------------------------------

// Sheets of 65,536 rows x 64 NUMBER cells (about 75 MB each) in a version 3 compound file.
// The keyword is the shared string table's one string and the last sheet's last cell, so a
// search reads every sheet to its end. The allocation table takes as many sectors as the
// stream needs; past the header's 109 they are listed in DIFAT sectors.
constexpr std::uint32_t kLargeRows = 65536, kLargeColumns = 64;
constexpr std::uint64_t kLargeCells = std::uint64_t{kLargeRows} * kLargeColumns;
constexpr std::uint64_t kLargeSheetBytes = 20 + 18 + kLargeCells * 18 + 4;

// The globals with each BOUNDSHEET's offset pointing at where its sheet will start.
Bytes largeGlobals(std::uint32_t sheets, std::uint64_t firstSheetAt = 0) {
    Bytes globals;
    record(globals, 0x0809, bof(0x0005));
    record(globals, 0x0042, Bytes{'\xB0', '\x04'});  // CODEPAGE 1200
    std::uint64_t offset = firstSheetAt;
    for (std::uint32_t sheet = 0; sheet < sheets; ++sheet) {
        const std::string name = "Sheet" + std::to_string(sheet + 1);
        Bytes boundSheet;
        putU32(boundSheet, static_cast<std::uint32_t>(offset));
        boundSheet += Bytes{'\0', '\0', static_cast<char>(name.size()), '\0'};
        boundSheet += name;
        record(globals, 0x0085, boundSheet);
        offset += kLargeSheetBytes - (sheet + 1 == sheets ? 4 : 0);
    }
    Bytes table;
    putU32(table, 1);
    putU32(table, 1);
    putU16(table, 6);
    table.push_back('\0');
    table += "needle";
    record(globals, 0x00FC, table);
    record(globals, 0x000A, "");
    return firstSheetAt ? globals : largeGlobals(sheets, globals.size());
}

// Calls `write` with the workbook stream piece by piece; returns its size when `write` is null.
template <typename Write>
std::uint64_t largeStream(std::uint32_t sheets, Write write) {
    const Bytes globals = largeGlobals(sheets);
    std::uint64_t size = globals.size();
    write(globals);
    for (std::uint32_t sheet = 0; sheet < sheets; ++sheet) {
        const bool last = sheet + 1 == sheets;
        Bytes head;
        record(head, 0x0809, bof(0x0010));
        Bytes dimensions;
        putU32(dimensions, 0);
        putU32(dimensions, kLargeRows);
        putU16(dimensions, 0);
        putU16(dimensions, kLargeColumns);
        putU16(dimensions, 0);
        record(head, 0x0200, dimensions);
        write(head);
        size += head.size();
        for (std::uint32_t row = 0; row < kLargeRows; ++row) {
            Bytes cells;
            for (std::uint32_t column = 0; column < kLargeColumns; ++column) {
                Bytes cell;
                putU16(cell, row);
                putU16(cell, column);
                putU16(cell, 15);
                if (last && row + 1 == kLargeRows && column + 1 == kLargeColumns) {
                    putU32(cell, 0);  // the keyword, from the shared string table
                    record(cells, 0x00FD, cell);
                    continue;
                }
                const double value = row * 100.25 + column;
                cell.append(reinterpret_cast<const char*>(&value), 8);  // little-endian host
                record(cells, 0x0203, cell);
            }
            write(cells);
            size += cells.size();
        }
        Bytes eof;
        record(eof, 0x000A, "");
        write(eof);
        size += eof.size();
    }
    return size;
}

int makeLargeXls(const std::string& path, std::uint32_t sheets) {
    constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD, kDifatSector = 0xFFFFFFFC,
                            kFree = 0xFFFFFFFF;
    const std::uint64_t streamSize = largeStream(sheets, [](const Bytes&) {});
    const std::uint32_t streamSectors = static_cast<std::uint32_t>((streamSize + 511) / 512);
    // Layout: DIFAT sectors, allocation table sectors, the directory, then the stream.
    std::uint32_t difat = 0, fat = 1;
    for (;;) {
        const std::uint32_t total = difat + fat + 1 + streamSectors;
        const std::uint32_t neededFat = (total + 127) / 128;
        const std::uint32_t neededDifat = neededFat > 109 ? (neededFat - 109 + 126) / 127 : 0;
        if (neededFat == fat && neededDifat == difat) break;
        fat = neededFat;
        difat = neededDifat;
    }
    const std::uint32_t directorySector = difat + fat, streamStart = directorySector + 1;

    Bytes header;
    header += "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    header.append(16, '\0');
    for (std::uint32_t value : {0x003Eu, 3u, 0xFFFEu, 9u, 6u}) putU16(header, value);
    header.append(6, '\0');
    for (std::uint32_t value :
         {0u, fat, directorySector, 0u, 4096u, kEnd, 0u, difat ? 0u : kEnd, difat})
        putU32(header, value);
    for (std::uint32_t slot = 0; slot < 109; ++slot)
        putU32(header, slot < fat ? difat + slot : kFree);

    Bytes tables;  // the DIFAT sectors, then the allocation table
    for (std::uint32_t sector = 0; sector < difat; ++sector) {
        for (std::uint32_t slot = 0; slot < 127; ++slot) {
            const std::uint32_t index = 109 + sector * 127 + slot;
            putU32(tables, index < fat ? difat + index : kFree);
        }
        putU32(tables, sector + 1 < difat ? sector + 1 : kEnd);
    }
    for (std::uint32_t sector = 0; sector < fat * 128; ++sector) {
        std::uint32_t next = kFree;
        if (sector < difat)
            next = kDifatSector;
        else if (sector < directorySector)
            next = kFatSector;
        else if (sector == directorySector)
            next = kEnd;
        else if (sector < streamStart + streamSectors)
            next = sector + 1 < streamStart + streamSectors ? sector + 1 : kEnd;
        putU32(tables, next);
    }

    Bytes directory(512, '\0');
    auto entry = [&](std::size_t at, const std::string& name, std::uint8_t type,
                     std::uint32_t child, std::uint32_t start, std::uint32_t size) {
        Bytes bytes;
        for (char c : name) putU16(bytes, static_cast<unsigned char>(c));
        bytes.resize(64, '\0');
        putU16(bytes, static_cast<std::uint32_t>(name.size() + 1) * 2);
        bytes += {static_cast<char>(type), '\x01'};
        for (std::uint32_t value : {0xFFFFFFFFu, 0xFFFFFFFFu, child}) putU32(bytes, value);
        bytes.append(36, '\0');
        for (std::uint32_t value : {start, size, 0u}) putU32(bytes, value);
        directory.replace(at, bytes.size(), bytes);
    };
    entry(0, "Root Entry", 5, 1, kEnd, 0);
    entry(128, "Workbook", 2, 0xFFFFFFFF, streamStart, static_cast<std::uint32_t>(streamSize));
    for (std::size_t at = 256; at < 512; at += 128) {  // unused entries have no siblings
        directory.replace(at + 68, 12, std::string(12, '\xFF'));
    }

    std::ofstream out(path, std::ios::binary);
    out << header << tables << directory;
    largeStream(sheets, [&](const Bytes& piece) { out << piece; });
    out << Bytes((512 - streamSize % 512) % 512, '\0');
    if (!out) {
        std::cerr << "cannot write " << path << "\n";
        return 2;
    }
    return 0;
}

// ---- running ---------------------------------------------------------------------------

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "cannot write " << path << "\n";
        std::exit(2);
    }
}

int make(const std::string& folder) {
    writeFile(folder + "/zip-bomb.xlsx", zipBomb());
    writeFile(folder + "/entity-expansion.xlsx", entityExpansion());
    writeFile(folder + "/biff-huge-claims.xls", compoundFile(hugeClaimsStream()));
    writeFile(folder + "/whole-grid-dimension.xlsx", wholeGridDimension());
    writeFile(folder + "/billion-cells.xls.ods", billionCellsOds());
    writeFile(folder + "/healthy.xlsx", healthyWorkbook());
    return 0;
}

int measure(int seconds, const char* output, char** command) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int descriptor = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (descriptor < 0 || dup2(descriptor, STDOUT_FILENO) < 0) _exit(126);
        execvp(command[0], command);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    bool killed = false;
    for (;;) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child) break;
        if (std::chrono::steady_clock::now() - started > std::chrono::seconds(seconds) && !killed) {
            kill(child, SIGKILL);
            killed = true;
        }
        usleep(5000);
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const long long cpuMilliseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
                                      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    std::printf("%ld %lld %lld %d\n", usage.ru_maxrss, static_cast<long long>(elapsed.count()),
                cpuMilliseconds, exitStatus);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "make") == 0) return make(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "make-large-xls") == 0)
        return makeLargeXls(argv[2], static_cast<std::uint32_t>(std::atoi(argv[3])));
    if (argc >= 5 && std::strcmp(argv[1], "measure") == 0)
        return measure(std::atoi(argv[2]), argv[3], argv + 4);
    std::cerr << "usage: memory_caps_tool make FOLDER | make-large-xls FILE SHEETS |"
                 " measure SECONDS OUTPUT COMMAND...\n";
    return 2;
}
