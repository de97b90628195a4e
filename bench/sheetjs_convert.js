// Converts generated .xlsx workbooks to .xlsb and BIFF8 .xls with the npm package "xlsx"
// (SheetJS), for the benchmark corpus. Reads "source<TAB>destination<TAB>bookType" lines on
// standard input and converts them all in this one process. NODE_PATH finds the package.
const fs = require("fs");
const XLSX = require("xlsx");

const lines = fs.readFileSync(0, "utf8").split("\n").filter((line) => line.length > 0);
for (const line of lines) {
    const [source, destination, bookType] = line.split("\t");
    const workbook = XLSX.readFile(source, { cellFormula: true, cellNF: true, dense: true });
    XLSX.writeFile(workbook, destination + ".part", { bookType, compression: true });
    fs.renameSync(destination + ".part", destination);
}
