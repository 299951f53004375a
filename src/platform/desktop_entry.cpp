#include "platform/desktop_entry.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/text_cleaning.h"

namespace corvane::platform {
namespace {

constexpr std::uintmax_t maxDesktopEntryBytes = 1024 * 1024;
constexpr std::string_view extension = ".desktop";

// Undoes the value escapes of the desktop entry format: \s \n \t \r \\.
std::string unescapedValue(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text.push_back(value[i]);
      continue;
    }
    switch (value[++i]) {
      case 's':
        text.push_back(' ');
        break;
      case 'n':
        text.push_back('\n');
        break;
      case 't':
        text.push_back('\t');
        break;
      case 'r':
        text.push_back('\r');
        break;
      case '\\':
        text.push_back('\\');
        break;
      default:
        text.push_back('\\');
        text.push_back(value[i]);
    }
  }
  return text;
}

runtime::Result<DesktopEntry> invalid(const std::string& fileName, const std::string& why) {
  return runtime::Error{fileName + " is not an application entry: " + why};
}

}  // namespace

runtime::Result<DesktopEntry> parseDesktopEntry(std::string_view text,
                                                const std::string& fileName) {
  if (fileName.size() <= extension.size() || !fileName.ends_with(extension)) {
    return invalid(fileName, "its name does not end in \".desktop\".");
  }
  if (!isValidUtf8(text) || text.find('\0') != std::string_view::npos) {
    return invalid(fileName, "it is not UTF-8 text.");
  }
  DesktopEntry entry;
  entry.id = fileName.substr(0, fileName.size() - extension.size());
  bool inMainGroup = false;
  bool sawMainGroup = false;
  std::optional<std::string> name;
  std::optional<std::string> type;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string line = trimmedText(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      if (sawMainGroup && inMainGroup) break;  // the main group is over
      inMainGroup = line == "[Desktop Entry]";
      sawMainGroup = sawMainGroup || inMainGroup;
      continue;
    }
    if (!inMainGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = trimmedText(std::string_view(line).substr(0, equals));
    const std::string value =
        unescapedValue(trimmedText(std::string_view(line).substr(equals + 1)));
    // The first occurrence of a key counts.
    if (key == "Name" && !name) name = value;
    if (key == "Type" && !type) type = value;
    if (key == "Icon" && !entry.icon) entry.icon = value;
    if (key == "StartupWMClass" && entry.startupWMClass.empty()) entry.startupWMClass = value;
    if (key == "Exec" && entry.exec.empty()) entry.exec = value;
    if (key == "Hidden") entry.hidden = value == "true";
    if (key == "NoDisplay") entry.noDisplay = value == "true";
  }
  if (!sawMainGroup) return invalid(fileName, "it has no [Desktop Entry] group.");
  if (!type) return invalid(fileName, "it has no Type.");
  if (!name || singleLineText(*name).empty()) return invalid(fileName, "it has no Name.");
  entry.type = *type;
  entry.name = singleLineText(*name);
  return entry;
}

std::vector<std::string> DesktopEntry::execWords() const {
  std::vector<std::string> words;
  std::size_t index = 0;
  const auto isBlank = [this](std::size_t at) { return exec[at] == ' ' || exec[at] == '\t'; };
  for (;;) {
    while (index < exec.size() && isBlank(index)) ++index;
    if (index >= exec.size()) return words;
    std::string word;
    if (exec[index] == '"') {
      // A quoted word: backslash escapes the next character.
      for (++index; index < exec.size() && exec[index] != '"'; ++index) {
        if (exec[index] == '\\' && index + 1 < exec.size()) ++index;
        word.push_back(exec[index]);
      }
      ++index;  // the closing quote
    } else {
      while (index < exec.size() && !isBlank(index)) word.push_back(exec[index++]);
    }
    words.push_back(std::move(word));
  }
}

std::string DesktopEntry::execProgram() const {
  auto words = execWords();
  return words.empty() ? std::string() : std::move(words.front());
}

std::size_t DesktopEntry::programIndex(const std::vector<std::string>& words) {
  std::size_t first = 0;
  if (!words.empty() && std::filesystem::path(words.front()).filename() == "env") {
    for (++first; first < words.size() && words[first].find('=') != std::string::npos &&
                  !words[first].starts_with('-');
         ++first) {
    }
  }
  return first;
}

namespace {

// Whether every argument `words` fixes past the program (field codes, which stand for arguments
// that differ from launch to launch, aside) is among `arguments`, in order.
bool fixedArgumentsGiven(std::vector<std::string>::const_iterator word,
                         std::vector<std::string>::const_iterator lastWord,
                         std::vector<std::string>::const_iterator argument,
                         std::vector<std::string>::const_iterator lastArgument) {
  for (; word != lastWord; ++word) {
    if (word->find('%') != std::string::npos) continue;
    argument = std::find(argument, lastArgument, *word);
    if (argument == lastArgument) return false;
    ++argument;
  }
  return true;
}

}  // namespace

bool DesktopEntry::startsCommand(const std::vector<std::string>& commandLine,
                                 const std::filesystem::path& executable,
                                 const std::optional<InterpretedScript>& script) const {
  const auto words = execWords();
  const std::size_t first = programIndex(words);
  if (first >= words.size() || commandLine.empty() || words[first].empty()) return false;
  // A program given by its path is that file; one given by name, any file of that name.
  const std::filesystem::path program = words[first];
  const auto named = [&](const std::filesystem::path& path) {
    return program.is_absolute() ? path == program : path.filename() == program;
  };
  const auto fixed = words.begin() + static_cast<std::ptrdiff_t>(first) + 1;
  if (named(commandLine.front()) || (!executable.empty() && named(executable))) {
    if (fixedArgumentsGiven(fixed, words.end(), commandLine.begin() + 1, commandLine.end())) {
      return true;
    }
  }
  if (!script || !named(script->path) || script->argument >= commandLine.size()) return false;
  const auto pastScript = commandLine.begin() + static_cast<std::ptrdiff_t>(script->argument) + 1;
  return fixedArgumentsGiven(fixed, words.end(), pastScript, commandLine.end());
}

bool DesktopEntry::fixesArguments() const {
  const auto words = execWords();
  const std::size_t first = programIndex(words);
  return first < words.size() &&
         std::any_of(words.begin() + static_cast<std::ptrdiff_t>(first) + 1, words.end(),
                     [](const std::string& word) { return word.find('%') == std::string::npos; });
}

bool DesktopEntry::startsOnlyARunner() const {
  const auto words = execWords();
  const std::size_t first = programIndex(words);
  if (first >= words.size()) return false;
  if (!isProgramRunner(std::filesystem::path(words[first]).filename().string())) return false;
  return std::all_of(words.begin() + static_cast<std::ptrdiff_t>(first) + 1, words.end(),
                     [](const std::string& word) {
                       return word.starts_with('-') || word.find('%') != std::string::npos;
                     });
}

bool DesktopEntry::sharesProgramWith(const DesktopEntry& other) const {
  const auto words = execWords();
  const auto otherWords = other.execWords();
  const std::size_t first = programIndex(words);
  const std::size_t otherFirst = programIndex(otherWords);
  if (first >= words.size() || otherFirst >= otherWords.size() || words[first].empty()) {
    return false;
  }
  if (isProgramRunner(std::filesystem::path(words[first]).filename().string())) return false;
  return words[first] == otherWords[otherFirst] &&
         !std::equal(words.begin() + static_cast<std::ptrdiff_t>(first), words.end(),
                     otherWords.begin() + static_cast<std::ptrdiff_t>(otherFirst),
                     otherWords.end());
}

std::string desktopEntryId(const std::filesystem::path& path,
                           const std::vector<std::filesystem::path>& applicationDirectories) {
  std::string id = path.filename().string();
  const auto file = path.lexically_normal();
  for (const auto& directory : applicationDirectories) {
    const auto relative = file.lexically_relative(directory.lexically_normal());
    if (relative.empty() || relative.begin()->string() == "..") continue;
    id.clear();
    for (const auto& part : relative) {
      if (!id.empty()) id.push_back('-');
      id += part.string();
    }
    break;
  }
  if (id.ends_with(extension)) id.resize(id.size() - extension.size());
  return id;
}

runtime::Result<DesktopEntry> loadDesktopEntry(
    const std::filesystem::path& path,
    const std::vector<std::filesystem::path>& applicationDirectories) {
  // A larger file (a long list of translations, an icon pasted in) is read as far as the limit:
  // the keys of its [Desktop Entry] group that lie within it still name the application.
  auto text = readFileStart(path, maxDesktopEntryBytes + 1);
  if (!text) return text.error();
  std::string_view contents = text.value();
  if (contents.size() > maxDesktopEntryBytes) {
    // Only whole lines count: the last one read may be cut short, even within a character.
    contents = contents.substr(0, contents.rfind('\n', maxDesktopEntryBytes - 1) + 1);
  }
  auto entry = parseDesktopEntry(contents, path.filename().string());
  if (entry) {
    entry.value().id = desktopEntryId(path, applicationDirectories);
    entry.value().path = path;
  }
  return entry;
}

}  // namespace corvane::platform
