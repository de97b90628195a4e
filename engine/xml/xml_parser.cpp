// expat behind XmlParser: local names only, entity declarations refused, early stop.
#include "engine/xml/xml_parser.h"

#include <expat.h>

#include <climits>
#include <cstring>

#include "engine/container/zip_archive.h"

namespace quillmark::engine {

std::string_view localName(std::string_view name) {
    std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const char* XmlAttributes::find(std::string_view wanted) const {
    for (const char** pair = pairs_; pair != nullptr && *pair != nullptr; pair += 2)
        if (localName(pair[0]) == wanted) return pair[1];
    return nullptr;
}

const char* XmlAttributes::findQualified(std::string_view wanted) const {
    for (const char** pair = pairs_; pair != nullptr && *pair != nullptr; pair += 2)
        if (std::string_view(pair[0]) == wanted) return pair[1];
    return nullptr;
}

struct XmlCallbacks {
    static XmlParser& self(void* data) { return *static_cast<XmlParser*>(data); }

    static void start(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).handler_.startElement(localName(name), XmlAttributes(attributes));
    }
    static void end(void* data, const XML_Char* name) {
        self(data).handler_.endElement(localName(name));
    }
    static void text(void* data, const XML_Char* text, int length) {
        self(data).handler_.characters(std::string_view(text, static_cast<std::size_t>(length)));
    }
    // Workbooks never need entity declarations; refusing them outright defuses
    // "billion laughs" and external-entity tricks before any expansion happens.
    static void entity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*) {
        XmlParser& parser = self(data);
        parser.refusedEntity_ = true;
        XML_StopParser(static_cast<XML_Parser>(parser.parser_), XML_FALSE);
    }
};

XmlParser::XmlParser(XmlHandler& handler) : handler_(handler) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    parser_ = parser;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, XmlCallbacks::start, XmlCallbacks::end);
    XML_SetCharacterDataHandler(parser, XmlCallbacks::text);
    XML_SetEntityDeclHandler(parser, XmlCallbacks::entity);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlParser::~XmlParser() {
    XML_ParserFree(static_cast<XML_Parser>(parser_));
}

void XmlParser::stop() {
    if (stopped_) return;
    stopped_ = true;
    XML_StopParser(static_cast<XML_Parser>(parser_), XML_FALSE);
}

Status XmlParser::feed(const char* data, std::size_t size, bool last) {
    XML_Parser parser = static_cast<XML_Parser>(parser_);
    while (size > 0 || last) {
        int piece = static_cast<int>(std::min<std::size_t>(size, INT_MAX / 2));
        bool finalPiece = last && static_cast<std::size_t>(piece) == size;
        XML_Status status = XML_Parse(parser, data, piece, finalPiece ? XML_TRUE : XML_FALSE);
        if (refusedEntity_) return fail(FailureKind::Corrupt, "XML entity declarations refused");
        if (stopped_) return Done{};
        if (status != XML_STATUS_OK) {
            XML_Error code = XML_GetErrorCode(parser);
            FailureKind kind = (code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN ||
                                code == XML_ERROR_PARTIAL_CHAR)
                                   ? FailureKind::Truncated
                                   : FailureKind::Corrupt;
            return fail(kind, std::string("XML: ") + XML_ErrorString(code));
        }
        data += piece;
        size -= static_cast<std::size_t>(piece);
        if (finalPiece) break;
    }
    return Done{};
}

Status XmlParser::parse(Bytes whole) {
    return feed(reinterpret_cast<const char*>(whole.data()), whole.size(), true);
}

Status XmlParser::parse(ZipStream& stream) {
    return parseChunks([&stream](std::uint8_t* buffer,
                                 std::size_t capacity) { return stream.read(buffer, capacity); },
                       false);
}

Status XmlParser::parse(const FileData& file) {
    FileCursor cursor(file);
    return parseChunks([&cursor](std::uint8_t* buffer,
                                 std::size_t capacity) { return cursor.read(buffer, capacity); },
                       true);
}

Status XmlParser::parseChunks(const ChunkReader& read, bool partialCharTruncates) {
    XML_Parser parser = static_cast<XML_Parser>(parser_);
    constexpr int kChunk = 1 << 16;
    for (;;) {
        void* buffer = XML_GetBuffer(parser, kChunk);
        if (buffer == nullptr) return fail(FailureKind::TooLarge, "XML parser out of memory");
        auto got = read(static_cast<std::uint8_t*>(buffer), kChunk);
        if (!got) return got.failure();
        bool last = got.value() == 0;
        XML_Status status = XML_ParseBuffer(parser, static_cast<int>(got.value()), last);
        if (refusedEntity_) return fail(FailureKind::Corrupt, "XML entity declarations refused");
        if (stopped_) return Done{};
        if (status != XML_STATUS_OK) {
            XML_Error code = XML_GetErrorCode(parser);
            bool cutShort = code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN ||
                            (partialCharTruncates && code == XML_ERROR_PARTIAL_CHAR);
            FailureKind kind = last && cutShort ? FailureKind::Truncated : FailureKind::Corrupt;
            return fail(kind, std::string("XML: ") + XML_ErrorString(code));
        }
        if (last) return Done{};
    }
}

}  // namespace quillmark::engine
