#include "verification/pipeline_frame_sink.h"

#include <utility>

#include "capture/protected_content_input_activity.h"
#include "verification/verification_capture_filter.h"

namespace corvane::verification {

capture::ProtectedFrameIntake::FrameSink pipelineFrameSink(
    std::shared_ptr<capture::ProtectedOutputSurface> surface,
    std::shared_ptr<ProtectedFramePipeline> pipeline,
    std::shared_ptr<capture::ProtectedFrameDeliveryState> deliveryState,
    std::shared_ptr<platform::CursorSource> cursorSource,
    std::shared_ptr<platform::InputIdleness> inputIdleness) {
  return [surface = std::move(surface), pipeline = std::move(pipeline),
          deliveryState = std::move(deliveryState), cursorSource = std::move(cursorSource),
          inputIdleness = std::move(inputIdleness)](capture::ProtectedCapturedFrame frame,
                                                    std::uint64_t generation,
                                                    std::uint64_t sourceContextGeneration) {
    const auto configuration = deliveryState->configuration();
    const auto pointer = normalizedPointer(
        cursorSource ? cursorSource->cursorPosition() : std::nullopt, configuration.displayFrame);
    surface->updateCursor(pointer);
    const double interval = analysisIntervalForInput(
        capture::ProtectedContentInputActivity::secondsSinceLastEvent(inputIdleness.get()),
        configuration.minimumAnalysisInterval);
    pipeline->ingest(std::move(frame), generation, sourceContextGeneration, interval,
                     /*isPaused=*/false, pointer);
  };
}

}  // namespace corvane::verification
