#include "operations/update_check_result.h"

namespace corvane::operations {

std::string UpdateCheckResult::message() const {
  if (auto* available = std::get_if<UpdateAvailable>(&value)) {
    return "Verified update " + available->version + " is ready";
  }
  if (auto* unavailable = std::get_if<Unavailable>(&value)) return unavailable->reason;
  return "Corvane is up to date";
}

}  // namespace corvane::operations
