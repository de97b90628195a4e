// Reads .rels parts with the streaming XML parser; part names are resolved the way OPC
// resolves relative references: against the source part's folder, "." and ".." removed.
#include "engine/xlsx/opc_relationships.h"

#include <algorithm>

#include "engine/container/zip_archive.h"
#include "engine/core/ascii.h"
#include "engine/xml/xml_parser.h"

namespace quillmark::engine {
namespace {

constexpr std::size_t kMaxRelationshipsBytes = 16u << 20;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes decoded; inside the package, "\\" taken for the "/" it stands for.
std::string percentDecoded(std::string_view text, bool partName) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += (partName && text[i] == '\\') ? '/' : text[i];
        }
    }
    return out;
}

class RelationshipsHandler : public XmlHandler {
  public:
    RelationshipsHandler(std::string folder, std::vector<Relationship>& out)
        : folder_(std::move(folder)), out_(out) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        if (name != "Relationship") return;
        const char* id = attributes.find("Id");
        const char* type = attributes.find("Type");
        const char* target = attributes.find("Target");
        const char* mode = attributes.find("TargetMode");
        if (type == nullptr || target == nullptr) return;
        Relationship relationship;
        relationship.id = id != nullptr ? id : "";
        std::string_view typeUri(type);
        std::size_t slash = typeUri.find_last_of('/');
        relationship.kind =
            std::string(slash == std::string_view::npos ? typeUri : typeUri.substr(slash + 1));
        relationship.external = mode != nullptr && equalsIgnoringAsciiCase(mode, "External");
        relationship.partName = relationship.external ? percentDecoded(target, false)
                                                      : resolvePartName(folder_, target);
        out_.push_back(std::move(relationship));
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}

  private:
    std::string folder_;
    std::vector<Relationship>& out_;
};

}  // namespace

std::string relationshipsPartFor(std::string_view partName) {
    std::string folder = folderOf(partName);
    return folder + "_rels/" + std::string(partName.substr(folder.size())) + ".rels";
}

std::string folderOf(std::string_view partName) {
    std::size_t slash = partName.find_last_of('/');
    return slash == std::string_view::npos ? std::string()
                                           : std::string(partName.substr(0, slash + 1));
}

std::string resolvePartName(std::string_view sourceFolder, std::string_view target) {
    std::string path = percentDecoded(target, true);
    if (!path.empty() && path.front() == '/') {
        path.erase(0, 1);
    } else {
        path = std::string(sourceFolder) + path;
    }
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string segment = path.substr(start, slash - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(std::move(segment));
        }
        start = slash + 1;
    }
    std::string resolved;
    for (const std::string& segment : segments) {
        if (!resolved.empty()) resolved += '/';
        resolved += segment;
    }
    return resolved;
}

std::string storedPartName(const ZipArchive& zip, std::string partName) {
    if (zip.contains(partName)) return partName;
    std::string backslashed = partName;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    return zip.contains(backslashed) ? backslashed : partName;
}

Outcome<std::vector<Relationship>> readRelationships(const ZipArchive& zip,
                                                     std::string_view sourcePart) {
    std::vector<Relationship> list;
    std::string relsName =
        storedPartName(zip, sourcePart.empty() ? "_rels/.rels" : relationshipsPartFor(sourcePart));
    if (!zip.contains(relsName)) return list;
    auto text = zip.readPart(relsName, kMaxRelationshipsBytes);
    if (!text) return text.failure();
    RelationshipsHandler handler(folderOf(std::string(sourcePart)), list);
    XmlParser parser(handler);
    const std::string& bytes = text.value();
    Status parsed =
        parser.parse(Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!parsed) return Failure{parsed.failure().kind, relsName + ": " + parsed.failure().reason};
    return list;
}

const Relationship* findRelationshipById(const std::vector<Relationship>& list,
                                         std::string_view id) {
    for (const Relationship& relationship : list)
        if (relationship.id == id) return &relationship;
    return nullptr;
}

const Relationship* findRelationshipByKind(const std::vector<Relationship>& list,
                                           std::string_view kind) {
    for (const Relationship& relationship : list)
        if (!relationship.external && equalsIgnoringAsciiCase(relationship.kind, kind))
            return &relationship;
    return nullptr;
}

}  // namespace quillmark::engine
