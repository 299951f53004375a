#pragma once

#include <vector>

#include "model/protected_redaction.h"

namespace corvane::verification {

// The verification engine's merge rule for covered boxes: each redaction, in order, merges into
// the first earlier box it overlaps by at least 45 % of the smaller of the two, where their
// bounding box covers hardly more than the two do, or is appended (overlapping boxes that would
// make a larger bounding box stay apart).
// A merged box gets a new identifier, the stronger scope and risk, the larger confidence and the
// union of both frames clipped to the unit square; a union that lies wholly outside the frame
// covers nothing and is dropped. Pure; callable from any thread.
std::vector<model::ProtectedRedaction> coalesced(
    const std::vector<model::ProtectedRedaction>& redactions);
// `first` followed by `second`, coalesced.
std::vector<model::ProtectedRedaction> coalesced(
    std::vector<model::ProtectedRedaction> first,
    const std::vector<model::ProtectedRedaction>& second);

}  // namespace corvane::verification
