// Relationship parts of an Open Packaging Conventions package (ECMA-376 Part 2, 9.3): how
// the xlsx package names its workbook, and the workbook its sheets, strings and styles.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/core/outcome.h"

namespace quillmark::engine {

class ZipArchive;

struct Relationship {
    std::string id;
    // The last path segment of the type URI ("officeDocument", "worksheet"...): transitional
    // and strict packages use different URIs for the same relationship.
    std::string kind;
    // The target resolved to a part name in the package (no leading "/"); for an external
    // target, the target with its percent escapes decoded.
    std::string partName;
    bool external = false;
};

// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"; "" (the package) -> "_rels/.rels".
std::string relationshipsPartFor(std::string_view partName);
// "xl/workbook.xml" -> "xl/"
std::string folderOf(std::string_view partName);
// A relationship target ("worksheets/sheet1.xml", "../x.xml", "/xl/styles.xml", percent
// escapes) resolved against the folder of its source part.
std::string resolvePartName(std::string_view sourceFolder, std::string_view target);

// The name under which `partName` is stored: some writers store "xl\\workbook.xml" with
// backslashes, which a part name never has; the name itself when neither is present.
std::string storedPartName(const ZipArchive& zip, std::string partName);

// The relationships of `sourcePart` ("" for the package itself). A missing relationship part
// is no error: the list is then empty.
Outcome<std::vector<Relationship>> readRelationships(const ZipArchive& zip,
                                                     std::string_view sourcePart);

const Relationship* findRelationshipById(const std::vector<Relationship>& list,
                                         std::string_view id);
// The first relationship of this kind, letter case ignored.
const Relationship* findRelationshipByKind(const std::vector<Relationship>& list,
                                           std::string_view kind);

}  // namespace quillmark::engine
