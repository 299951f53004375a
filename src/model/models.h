#pragma once

// Every value type of the shared model.
#include "model/capture_display.h"
#include "model/detected_item.h"
#include "model/enum_coding.h"
#include "model/health_item.h"
#include "model/palette.h"
#include "model/protected_app.h"
#include "model/protected_frame_analysis_result.h"
#include "model/protected_redaction.h"
#include "model/protected_rendered_frame.h"
#include "model/protected_share_metrics.h"
#include "model/protected_share_phase.h"
#include "model/protection_options.h"
#include "model/sensitive_content.h"
#include "model/uuid.h"
