// Saves book.xlsx as the formats LibreOffice cannot write here: .xlsb and SpreadsheetML 2003.
// This writer saves no formulas in .xlsb and no rich text in either, and saves the chart sheet
// as an empty worksheet. Needs the npm package "xlsx" (make.sh says where it looks for it).
//
// Usage: node convert_with_sheetjs.js BOOK.xlsx OUTPUT_DIR
"use strict";
const path = require("path");
const XLSX = require("xlsx");

const [source, outputDir] = process.argv.slice(2);
if (!source || !outputDir) {
    console.error("usage: node convert_with_sheetjs.js BOOK.xlsx OUTPUT_DIR");
    process.exit(2);
}

const workbook = XLSX.readFile(source, { cellFormula: true, cellNF: true, cellStyles: true });
const targets = [
    { file: "book.xlsb", bookType: "xlsb" },
    { file: "book-2003.xml", bookType: "xlml" },
];
for (const target of targets) {
    XLSX.writeFile(workbook, path.join(outputDir, target.file), { bookType: target.bookType, compression: true });
    console.log("wrote " + target.file);
}
