#include "platform/application_ids.h"

#include <algorithm>
#include <cctype>

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

}  // namespace corvane::platform
