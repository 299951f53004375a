#include "platform/property_list.h"

#include <expat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/linux/base64.h"

namespace corvane::platform {
namespace {

// Deeper nesting than this is not a settings file; refusing it keeps hostile input bounded.
constexpr std::size_t maxNestingDepth = 256;
constexpr std::uintmax_t maxInfoPlistBytes = 4 * 1024 * 1024;

enum class Element {
  plist,
  dict,
  array,
  key,
  string,
  integer,
  real,
  trueValue,
  falseValue,
  date,
  data
};

std::optional<Element> elementNamed(std::string_view name) {
  if (name == "plist") return Element::plist;
  if (name == "dict") return Element::dict;
  if (name == "array") return Element::array;
  if (name == "key") return Element::key;
  if (name == "string") return Element::string;
  if (name == "integer") return Element::integer;
  if (name == "real") return Element::real;
  if (name == "true") return Element::trueValue;
  if (name == "false") return Element::falseValue;
  if (name == "date") return Element::date;
  if (name == "data") return Element::data;
  return std::nullopt;
}

bool isContainer(Element element) {
  return element == Element::plist || element == Element::dict || element == Element::array;
}

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::optional<std::int64_t> parseInteger(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

std::optional<double> parseReal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno == ERANGE && std::isinf(value)) return std::nullopt;
  if (end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

// Builds the value tree from expat's callbacks. The first problem stops the parser and is kept.
class PropertyListBuilder {
 public:
  struct Frame {
    Element element;
    Value::Array array;
    Value::Dictionary dictionary;
    std::optional<std::string> pendingKey;
    std::string text;
  };

  void start(const char* name) {
    if (failed()) return;
    const auto element = elementNamed(name);
    if (!element) return fail(std::string("unknown element <") + name + ">");
    if (!frames_.empty() && !isContainer(frames_.back().element)) {
      return fail(std::string("element <") + name + "> inside a value");
    }
    if (*element == Element::plist && !frames_.empty()) return fail("nested <plist>");
    if (*element == Element::key && (frames_.empty() || frames_.back().element != Element::dict)) {
      return fail("<key> outside a dictionary");
    }
    if (frames_.size() >= maxNestingDepth) return fail("nesting too deep");
    frames_.push_back(Frame{*element, {}, {}, {}, {}});
  }

  void text(const char* bytes, int length) {
    if (failed() || frames_.empty()) return;
    Frame& frame = frames_.back();
    const std::string_view chunk(bytes, static_cast<std::size_t>(length));
    if (isContainer(frame.element) || frame.element == Element::trueValue ||
        frame.element == Element::falseValue) {
      if (!trimmed(chunk).empty()) fail("text outside a value");
      return;
    }
    frame.text.append(chunk);
  }

  void end() {
    if (failed() || frames_.empty()) return;
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (frame.element == Element::key) {
      Frame& dict = frames_.back();
      if (dict.pendingKey) return fail("key \"" + *dict.pendingKey + "\" has no value");
      dict.pendingKey = std::move(frame.text);
      return;
    }
    if (frame.element == Element::plist) return;
    if (frame.element == Element::dict && frame.pendingKey) {
      return fail("key \"" + *frame.pendingKey + "\" has no value");
    }
    auto value = finish(frame);
    if (value) attach(std::move(*value));
  }

  bool failed() const { return problem_.has_value(); }
  const std::optional<std::string>& problem() const { return problem_; }
  const std::optional<Value>& root() const { return root_; }

 private:
  std::optional<Value> finish(Frame& frame) {
    switch (frame.element) {
      case Element::dict:
        return Value(std::move(frame.dictionary));
      case Element::array:
        return Value(std::move(frame.array));
      case Element::string:
        return Value(std::move(frame.text));
      case Element::trueValue:
        return Value(true);
      case Element::falseValue:
        return Value(false);
      case Element::integer: {
        auto parsed = parseInteger(trimmed(frame.text));
        if (!parsed) fail("\"" + frame.text + "\" is not an integer");
        return parsed ? std::optional<Value>(Value(*parsed)) : std::nullopt;
      }
      case Element::real: {
        auto parsed = parseReal(trimmed(frame.text));
        if (!parsed) fail("\"" + frame.text + "\" is not a number");
        return parsed ? std::optional<Value>(Value(*parsed)) : std::nullopt;
      }
      case Element::date: {
        runtime::WallTime time;
        if (!runtime::parseISO8601(trimmed(frame.text), time)) {
          fail("\"" + frame.text + "\" is not a date");
          return std::nullopt;
        }
        return Value(time);
      }
      case Element::data: {
        auto bytes = decodeBase64(frame.text);
        if (!bytes) fail("<data> is not Base64");
        return bytes ? std::optional<Value>(Value(std::move(*bytes))) : std::nullopt;
      }
      case Element::plist:
      case Element::key:
        break;
    }
    return std::nullopt;
  }

  void attach(Value value) {
    if (frames_.empty() || frames_.back().element == Element::plist) {
      if (root_) return fail("more than one top-level value");
      root_ = std::move(value);
      return;
    }
    Frame& parent = frames_.back();
    if (parent.element == Element::array) {
      parent.array.push_back(std::move(value));
      return;
    }
    if (!parent.pendingKey) return fail("dictionary value without a <key>");
    parent.dictionary.insert_or_assign(std::move(*parent.pendingKey), std::move(value));
    parent.pendingKey.reset();
  }

  void fail(std::string problem) {
    if (!problem_) problem_ = std::move(problem);
  }

  std::vector<Frame> frames_;
  std::optional<Value> root_;
  std::optional<std::string> problem_;
};

struct ParserContext {
  XML_Parser parser;
  PropertyListBuilder builder;
  bool declaresEntities = false;
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char**) {
  auto* context = static_cast<ParserContext*>(data);
  context->builder.start(name);
  if (context->builder.failed()) XML_StopParser(context->parser, XML_FALSE);
}

void XMLCALL onEnd(void* data, const XML_Char*) {
  auto* context = static_cast<ParserContext*>(data);
  context->builder.end();
  if (context->builder.failed()) XML_StopParser(context->parser, XML_FALSE);
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
  auto* context = static_cast<ParserContext*>(data);
  context->builder.text(text, length);
  if (context->builder.failed()) XML_StopParser(context->parser, XML_FALSE);
}

// Entity declarations have no place in a property list and are the way to expansion attacks.
void XMLCALL onEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*,
                                 const XML_Char*) {
  auto* context = static_cast<ParserContext*>(data);
  context->declaresEntities = true;
  XML_StopParser(context->parser, XML_FALSE);
}

struct ParserDeleter {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

void appendEscaped(std::string& out, std::string_view text) {
  for (unsigned char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        // Control characters other than tab and line breaks cannot appear in XML 1.0.
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += "\xEF\xBF\xBD";
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
}

std::string formatReal(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

void serializeValue(std::string& out, const Value& value, int depth) {
  const std::string indent(static_cast<std::size_t>(depth), '\t');
  out += indent;
  switch (value.type()) {
    case Value::Type::boolean:
      out += *value.asBool() ? "<true/>" : "<false/>";
      break;
    case Value::Type::integer:
      out += "<integer>" + std::to_string(*value.asInteger()) + "</integer>";
      break;
    case Value::Type::real:
      out += "<real>" + formatReal(*value.asReal()) + "</real>";
      break;
    case Value::Type::string:
      out += "<string>";
      appendEscaped(out, *value.asString());
      out += "</string>";
      break;
    case Value::Type::data:
      out += "<data>" + encodeBase64(*value.asData()) + "</data>";
      break;
    case Value::Type::date:
      out += "<date>" + runtime::formatISO8601(*value.asDate()) + "</date>";
      break;
    case Value::Type::array:
      if (value.asArray()->empty()) {
        out += "<array/>";
        break;
      }
      out += "<array>\n";
      for (const auto& item : *value.asArray()) serializeValue(out, item, depth + 1);
      out += indent + "</array>";
      break;
    case Value::Type::dictionary:
      if (value.asDictionary()->empty()) {
        out += "<dict/>";
        break;
      }
      out += "<dict>\n";
      for (const auto& [key, item] : *value.asDictionary()) {
        out += indent + "\t<key>";
        appendEscaped(out, key);
        out += "</key>\n";
        serializeValue(out, item, depth + 1);
      }
      out += indent + "</dict>";
      break;
  }
  out += "\n";
}

}  // namespace

runtime::Result<Value> parsePropertyList(std::string_view xml) {
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
  if (!parser) return runtime::Error{"The property list could not be read: out of memory."};
  ParserContext context{parser.get(), {}, false};
  XML_SetUserData(parser.get(), &context);
  XML_SetElementHandler(parser.get(), onStart, onEnd);
  XML_SetCharacterDataHandler(parser.get(), onText);
  XML_SetEntityDeclHandler(parser.get(), onEntityDeclaration);
  const auto status = XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE);
  if (context.declaresEntities) {
    return runtime::Error{"The property list is malformed: it declares entities."};
  }
  if (const auto& problem = context.builder.problem()) {
    return runtime::Error{"The property list is malformed: " + *problem + " (line " +
                          std::to_string(XML_GetCurrentLineNumber(parser.get())) + ")."};
  }
  if (status != XML_STATUS_OK) {
    return runtime::Error{"The property list is malformed: " +
                          std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " (line " +
                          std::to_string(XML_GetCurrentLineNumber(parser.get())) + ")."};
  }
  if (!context.builder.root()) {
    return runtime::Error{"The property list is malformed: it holds no value."};
  }
  return *context.builder.root();
}

std::string serializePropertyList(const Value& value) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<plist version=\"1.0\">\n";
  serializeValue(out, value, 0);
  out += "</plist>\n";
  return out;
}

runtime::Result<Bundle> loadBundle(const std::filesystem::path& root) {
  const std::filesystem::path infoPath = root / "Info.plist";
  auto text = readFile(infoPath, maxInfoPlistBytes);
  if (!text) {
    return runtime::Error{"Could not load the application bundle at " + root.string() + ": " +
                          text.message()};
  }
  auto value = parsePropertyList(text.value());
  if (!value) {
    return runtime::Error{"Could not load " + infoPath.string() + ": " + value.message()};
  }
  if (!value->asDictionary()) {
    return runtime::Error{"Could not load " + infoPath.string() +
                          ": its top level is not a dictionary."};
  }
  return Bundle{root, *value->asDictionary()};
}

}  // namespace corvane::platform
