#include <expat.h>

#include <memory>
#include <string>

#include "platform/xml_elements.h"

namespace corvane::platform {
namespace {

using ElementHandler =
    std::function<void(const std::string& name, const XmlAttributes& attributes)>;

struct ParseContext {
  XML_Parser parser = nullptr;
  const ElementHandler* onElementStart = nullptr;
  bool refusedDocumentType = false;
};

void XMLCALL startElement(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto* context = static_cast<ParseContext*>(data);
  XmlAttributes map;
  for (int i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2) {
    map.emplace(attributes[i], attributes[i + 1]);
  }
  (*context->onElementStart)(name, map);
}

// Entity definitions are how XML bombs and external fetches start; a feed needs none.
void XMLCALL startDocumentType(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto* context = static_cast<ParseContext*>(data);
  context->refusedDocumentType = true;
  XML_StopParser(context->parser, XML_FALSE);
}

struct ParserDeleter {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

}  // namespace

runtime::Status forEachXmlElementStart(std::string_view xml, const ElementHandler& onElementStart) {
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
  if (!parser) return runtime::Status::failure("XML parser unavailable.");
  ParseContext context{parser.get(), &onElementStart, false};
  XML_SetUserData(parser.get(), &context);
  XML_SetStartElementHandler(parser.get(), startElement);
  XML_SetStartDoctypeDeclHandler(parser.get(), startDocumentType);
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

  // Expat takes an int length; feed large documents in pieces.
  constexpr std::size_t kChunk = 1 << 20;
  std::size_t offset = 0;
  do {
    const std::size_t length = std::min(kChunk, xml.size() - offset);
    const bool last = offset + length == xml.size();
    if (XML_Parse(parser.get(), xml.data() + offset, static_cast<int>(length),
                  last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
      if (context.refusedDocumentType) {
        return runtime::Status::failure("XML document type declarations are not accepted.");
      }
      return runtime::Status::failure(std::string("XML is not well-formed: ") +
                                      XML_ErrorString(XML_GetErrorCode(parser.get())) +
                                      " at line " +
                                      std::to_string(XML_GetCurrentLineNumber(parser.get())));
    }
    offset += length;
  } while (offset < xml.size());
  return runtime::Status::success();
}

}  // namespace corvane::platform
