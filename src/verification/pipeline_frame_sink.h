#pragma once

#include <memory>

#include "capture/protected_frame_delivery_state.h"
#include "capture/protected_frame_intake.h"
#include "capture/protected_output_surface.h"
#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "verification/protected_frame_pipeline.h"

namespace corvane::verification {

// The verification capture's frame sink, run by the drain on the samples queue for every frame it
// admits: moves the output's pointer to where the real one is on the captured display, picks the
// analysis interval by how recently the user gave input and hands the frame, uncopied, to the
// pipeline, which decides by itself whether it takes it. Holds only what it needs, never the
// engine.
capture::ProtectedFrameIntake::FrameSink pipelineFrameSink(
    std::shared_ptr<capture::ProtectedOutputSurface> surface,
    std::shared_ptr<ProtectedFramePipeline> pipeline,
    std::shared_ptr<capture::ProtectedFrameDeliveryState> deliveryState,
    std::shared_ptr<platform::CursorSource> cursorSource,
    std::shared_ptr<platform::InputIdleness> inputIdleness);

}  // namespace corvane::verification
