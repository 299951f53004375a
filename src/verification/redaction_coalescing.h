#pragma once

#include <vector>

#include "model/protected_redaction.h"
#include "verification/mask_merging.h"

namespace corvane::verification {

// The verification engine's merge rule for covered boxes: each redaction, in order, merges into
// the first earlier box it overlaps by at least 45 % of the smaller of the two, where both lie in
// the same window area and their bounding box covers hardly more than the boxes merged into them
// do (MaskGroup), or is appended (overlapping boxes that would make a larger bounding box stay
// apart).
// A merged box gets a new identifier, the stronger scope and risk, the larger confidence and the
// union of both frames clipped to the unit square; a union that lies wholly outside the frame
// covers nothing and is dropped. Pure; callable from any thread.
std::vector<model::ProtectedRedaction> coalesced(
    const std::vector<model::ProtectedRedaction>& redactions);
std::vector<model::ProtectedRedaction> coalesced(
    const std::vector<model::ProtectedRedaction>& redactions, const MaskAreas& areas);
// `first` followed by `second`, coalesced.
std::vector<model::ProtectedRedaction> coalesced(
    std::vector<model::ProtectedRedaction> first,
    const std::vector<model::ProtectedRedaction>& second, const MaskAreas& areas = {});

}  // namespace corvane::verification
