// Seeds for the structure-aware fuzz targets, taken from real workbooks: the worksheet parts of
// xlsx and xlsb packages, content.xml of ods packages, the workbook streams of .xls files and
// the formulas in them. Usage: fuzz_seed_parts <target> <output folder> <workbook>...
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "engine/biff/biff_records.h"
#include "engine/container/compound_file.h"
#include "engine/container/zip_archive.h"

namespace {

using quillmark::engine::Bytes;
using quillmark::engine::CompoundFile;

int written = 0;

void writeSeed(const std::string& folder, const std::string& stem, const std::string& bytes) {
    std::ofstream(folder + "/" + stem + "-" + std::to_string(written++), std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool endsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Every zip entry whose name passes `wanted`, up to 4 MB each.
template <class Wanted>
void zipParts(const std::string& bytes, Wanted wanted, const std::string& folder) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (archive == nullptr) {
        if (source) zip_source_free(source);
        return;
    }
    for (zip_int64_t index = 0; index < zip_get_num_entries(archive, 0); ++index) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(index), 0);
        if (name == nullptr || !wanted(std::string(name))) continue;
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
        if (file == nullptr) continue;
        std::string part;
        char chunk[1 << 15];
        zip_int64_t got;
        while ((got = zip_fread(file, chunk, sizeof chunk)) > 0 && part.size() < (4u << 20))
            part.append(chunk, static_cast<std::size_t>(got));
        zip_fclose(file);
        writeSeed(folder, "part", part);
    }
    zip_discard(archive);
    zip_error_fini(&error);
}

// The parts fuzz_xlsx_globals stands its input in for, each behind the byte that picks it.
void xlsxGlobalParts(const std::string& bytes, const std::string& folder) {
    static const std::pair<const char*, char> kPicks[] = {
        {"xl/workbook.xml", '\0'},
        {"xl/_rels/workbook.xml.rels", '\1'},
        {"xl/sharedStrings.xml", '\2'},
        {"xl/styles.xml", '\3'},
    };
    for (const auto& [name, pick] : kPicks) {
        const int before = written;
        zipParts(
            bytes, [name = std::string(name)](const std::string& part) { return part == name; },
            folder);
        // Put the picking byte in front of what zipParts just wrote.
        for (int index = before; index < written; ++index) {
            const std::string path = folder + "/part-" + std::to_string(index);
            const std::string part = readFile(path);
            std::ofstream(path, std::ios::binary) << pick << part;
        }
    }
}

// SpreadsheetML 2003 and flat OpenDocument files.
bool xmlDocument(const std::string& bytes) {
    const std::string head = bytes.substr(0, 1 << 14);
    return head.find("<?xml") != std::string::npos &&
           (head.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos ||
            head.find("urn:oasis:names:tc:opendocument:xmlns:office") != std::string::npos);
}

std::string workbookStream(const std::string& bytes) {
    auto file = CompoundFile::open(
        quillmark::engine::memoryData(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    if (!file) return {};
    const CompoundFile::Entry* entry = file.value().findStream("Workbook");
    if (!entry) entry = file.value().findStream("Book");
    if (!entry) return {};
    auto stream = file.value().readStream(*entry);
    if (!stream) return {};
    return std::string(stream.value().begin(), stream.value().end());
}

// BIFF8 FORMULA records: the cell, the token stream and the bytes after it, laid out as
// fuzz_formula_text reads its input.
void formulaSeeds(const std::string& stream, const std::string& folder) {
    namespace biff = quillmark::engine::biff;
    auto bytes =
        quillmark::engine::memoryData(std::vector<std::uint8_t>(stream.begin(), stream.end()));
    biff::RecordCursor cursor(*bytes, 0);
    int kept = 0;
    while (auto record = cursor.next()) {
        if (record->type != 0x0006 || record->data.size() < 22 || kept >= 40) continue;
        const std::uint8_t* cell = record->data.data();
        std::size_t tokenBytes = cell[20] | (cell[21] << 8);
        std::string seed{'\x01',
                         static_cast<char>(tokenBytes),
                         static_cast<char>(tokenBytes >> 8),
                         static_cast<char>(cell[0]),
                         static_cast<char>(cell[2]),
                         static_cast<char>(cell[3])};
        seed.append(reinterpret_cast<const char*>(cell) + 22, record->data.size() - 22);
        writeSeed(folder, "formula", seed);
        ++kept;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: fuzz_seed_parts <target> <output folder> <workbook>...\n";
        return 2;
    }
    const std::string target = argv[1], folder = argv[2];
    for (int index = 3; index < argc; ++index) {
        const std::string bytes = readFile(argv[index]);
        const bool zip = bytes.size() > 4 && bytes.compare(0, 2, "PK") == 0;
        const bool compound = bytes.size() > 8 && bytes.compare(0, 4, "\xD0\xCF\x11\xE0") == 0;
        const bool bareBiff = bytes.size() > 4 && bytes[0] == '\x09' && !compound;
        if (target == "xlsx_sheet" && zip) {
            zipParts(
                bytes,
                [](const std::string& name) {
                    return endsWith(name, ".xml") &&
                           (name.find("worksheets/") != std::string::npos ||
                            name.find("macrosheets/") != std::string::npos);
                },
                folder);
        } else if (target == "xlsx_globals" && zip) {
            xlsxGlobalParts(bytes, folder);
        } else if (target == "xml_workbook" && xmlDocument(bytes)) {
            writeSeed(folder, "document", bytes);
        } else if (target == "xlsb_sheet" && zip) {
            zipParts(
                bytes,
                [](const std::string& name) {
                    return endsWith(name, ".bin") && name.find("worksheets/") != std::string::npos;
                },
                folder);
        } else if (target == "ods_content") {
            if (zip)
                zipParts(
                    bytes, [](const std::string& name) { return name == "content.xml"; }, folder);
            else if (bytes.find("urn:oasis:names:tc:opendocument") != std::string::npos)
                writeSeed(folder, "flat", bytes);
        } else if (target == "biff_stream" || target == "formula_text") {
            const std::string stream = compound ? workbookStream(bytes) : bareBiff ? bytes : "";
            if (stream.empty()) continue;
            if (target == "biff_stream")
                writeSeed(folder, "stream", stream);
            else
                formulaSeeds(stream, folder);
        } else if (target == "compound_file" && compound) {
            writeSeed(folder, "file", bytes);
        }
    }
    std::cout << written << "\n";
    return 0;
}
