// A streaming XML parser (expat) for the XML-based formats. No document tree is built; a
// handler sees elements by local name as they stream past and may stop the parse early.
// Entity declarations are refused, so entity-expansion tricks fail the workbook at once.
#pragma once

#include <functional>
#include <string_view>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

class ZipStream;

// Attributes as expat hands them over: name, value, name, value, ..., nullptr.
class XmlAttributes {
  public:
    explicit XmlAttributes(const char** pairs) : pairs_(pairs) {}
    // The value of the attribute whose local name (the part after any prefix) is `localName`.
    const char* find(std::string_view localName) const;
    // The same, but only for an exact qualified name such as "table:name".
    const char* findQualified(std::string_view qualifiedName) const;

  private:
    const char** pairs_;
};

class XmlHandler {
  public:
    virtual ~XmlHandler() = default;
    // `name` is the local name: any "prefix:" is stripped, so transitional and strict
    // namespaces, and any prefix a writer chose, look the same.
    virtual void startElement(std::string_view name, const XmlAttributes& attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    // Text may arrive in several pieces; entities are already resolved.
    virtual void characters(std::string_view text) = 0;
};

// The local part of a qualified XML name.
std::string_view localName(std::string_view qualifiedName);

class XmlParser {
  public:
    explicit XmlParser(XmlHandler& handler);
    ~XmlParser();
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Ends the parse after the current callback; the parse then reports success.
    void stop();
    bool stopped() const { return stopped_; }

    Status parse(Bytes whole);
    Status parse(ZipStream& stream);
    // The whole file, read chunk by chunk.
    Status parse(const FileData& file);
    // Bytes from `read` (0 at their end) until they end; a character cut off at the end counts
    // as truncation only when `partialCharTruncates`.
    using ChunkReader = std::function<Outcome<std::size_t>(std::uint8_t*, std::size_t)>;
    Status parseChunks(const ChunkReader& read, bool partialCharTruncates);

  private:
    Status feed(const char* data, std::size_t size, bool last);
    friend struct XmlCallbacks;

    XmlHandler& handler_;
    void* parser_;
    bool stopped_ = false;
    bool refusedEntity_ = false;
};

}  // namespace quillmark::engine
