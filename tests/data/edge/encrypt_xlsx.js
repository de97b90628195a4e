// Encrypts an .xlsx with a password (ECMA-376 agile encryption): the result is a compound file
// holding EncryptionInfo and EncryptedPackage streams, as Excel saves a password-protected
// workbook. Needs the npm package "officecrypto-tool" (see make.sh).
//
// Usage: node encrypt_xlsx.js SOURCE.xlsx TARGET.xlsx PASSWORD
"use strict";
const fs = require("fs");
const officeCrypto = require("officecrypto-tool");

const [source, target, password] = process.argv.slice(2);
if (!source || !target || !password) {
    console.error("usage: node encrypt_xlsx.js SOURCE.xlsx TARGET.xlsx PASSWORD");
    process.exit(2);
}
fs.writeFileSync(target, officeCrypto.encrypt(fs.readFileSync(source), { password }));
