// The smallest .xlsx package around worksheet parts, as (part name, text) pairs, for tests
// that build packages at run time; and, for those that link libzip, writing parts to a zip
// file deflated as a spreadsheet program would.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quillmark::testing {

using Parts = std::vector<std::pair<std::string, std::string>>;

// Sheets named Sheet1, Sheet2... in the order given, at xl/worksheets/sheetN.xml.
inline Parts xlsxParts(const std::vector<std::string>& sheets) {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string packageRel = "http://schemas.openxmlformats.org/package/2006/relationships";
    std::string list, relationships;
    for (std::size_t index = 1; index <= sheets.size(); ++index) {
        const std::string n = std::to_string(index);
        list += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        relationships += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel +
                         "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    }
    Parts parts = {
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"_rels/.rels", "<Relationships xmlns=\"" + packageRel +
                            "\"><Relationship Id=\"r1\" Type=\"" + rel +
                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
         "2006/main\" xmlns:r=\"" +
             rel + "\"><sheets>" + list + "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"" + packageRel + "\">" + relationships + "</Relationships>"}};
    for (std::size_t index = 1; index <= sheets.size(); ++index)
        parts.emplace_back("xl/worksheets/sheet" + std::to_string(index) + ".xml",
                           sheets[index - 1]);
    return parts;
}

// A worksheet part of rows, each row's cells given as the XML inside <c>...</c>.
inline std::string worksheetXml(const std::string& rows) {
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

// Inserts `text` into the part `name`, before the last `before` in it.
inline void addToPart(Parts& parts, const std::string& name, const std::string& before,
                      const std::string& text) {
    for (auto& [partName, partText] : parts)
        if (partName == name) partText.insert(partText.rfind(before), text);
}

// A workbook relationship of `kind` (the last segment of its type) to `target`.
inline void addRelationship(Parts& parts, const std::string& id, const std::string& kind,
                            const std::string& target) {
    addToPart(parts, "xl/_rels/workbook.xml.rels", "</Relationships>",
              "<Relationship Id=\"" + id +
                  "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                  "relationships/" +
                  kind + "\" Target=\"" + target + "\"/>");
}

// A one-sheet package with `sharedStrings` as its table; row 1 holds one cell per index, in
// column order, each naming that entry.
inline Parts sharedStringsWorkbookParts(const std::string& sharedStrings,
                                        const std::vector<std::size_t>& indexes) {
    std::string cells;
    for (std::size_t index : indexes)
        cells += "<c t=\"s\"><v>" + std::to_string(index) + "</v></c>";
    Parts parts = xlsxParts({worksheetXml("<row r=\"1\">" + cells + "</row>")});
    addRelationship(parts, "rIdStrings", "sharedStrings", "sharedStrings.xml");
    parts.emplace_back("xl/sharedStrings.xml", sharedStrings);
    return parts;
}

}  // namespace quillmark::testing

#ifdef LIBZIP_VERSION_MAJOR
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace quillmark::testing {

// Writes `parts` deflated to a zip file at `path` (a failure fails the calling test).
inline void writeZipFile(const QString& path, const Parts& parts) {
    int error = 0;
    zip_t* archive = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(archive);
    for (const auto& [name, text] : parts) {
        zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
        QVERIFY(zip_file_add(archive, name.c_str(), source, 0) >= 0);
    }
    QCOMPARE(zip_close(archive), 0);
}

// The bytes of `parts` deflated by libzip, through a temporary file.
inline std::string deflatedPackage(const Parts& parts) {
    QTemporaryDir folder;
    const QString path = folder.filePath("t.xlsx");
    writeZipFile(path, parts);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

}  // namespace quillmark::testing
#endif
