#include "platform/application_ids.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace corvane::platform {

namespace {

bool sameText(std::string_view a, std::string_view b, IdCase idCase) {
  if (idCase == IdCase::exact) return a == b;
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool namesApplicationOrHelper(std::string_view id, std::string_view excluded, IdCase idCase) {
  if (excluded.empty() || id.size() < excluded.size()) return false;
  if (id.size() == excluded.size()) return sameText(id, excluded, idCase);
  return id.size() > excluded.size() + 1 && id[excluded.size()] == '.' &&
         sameText(id.substr(0, excluded.size()), excluded, idCase);
}

namespace {

std::string folded(std::string_view name) {
  std::string letters;
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      letters.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return letters;
}

// A name folded, and folded without its vendor prefix (its last dotted part) when it has one.
std::vector<std::string> foldedForms(std::string_view name) {
  std::vector<std::string> forms{folded(name)};
  if (const auto dot = name.rfind('.'); dot != std::string_view::npos) {
    forms.push_back(folded(name.substr(dot + 1)));
  }
  return forms;
}

}  // namespace

bool namesAreClose(std::string_view name, std::string_view other) {
  for (const auto& a : foldedForms(name)) {
    for (const auto& b : foldedForms(other)) {
      if (!a.empty() && a == b) return true;
    }
  }
  return false;
}

}  // namespace corvane::platform
