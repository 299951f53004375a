#include <gtest/gtest.h>

#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/geometry.h"
#include "platform/permissions.h"
#include "platform/pixel_buffer.h"
#include "platform/process.h"
#include "platform/property_list.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/text_recognizer.h"
#include "platform/window_states.h"
#include "platform/workspace.h"

namespace corvane::platform {
namespace {

TEST(GeometryTest, IntersectionOfDisjointRectsIsEmpty) {
  Rect a{{0, 0}, {10, 10}};
  Rect b{{10, 0}, {5, 5}};
  EXPECT_TRUE(a.intersection(b).isEmpty());
  EXPECT_FALSE(a.intersects(b));
  EXPECT_EQ(a.intersection(Rect{{5, 5}, {10, 10}}), (Rect{{5, 5}, {5, 5}}));
}

TEST(ContentFilterTest, ExcludesByBundleIdOrProcess) {
  ContentFilter filter;
  filter.excludedApplications.push_back({"org.keepassxc.KeePassXC", "KeePassXC", 42});
  EXPECT_TRUE(filter.excludesApplication("org.keepassxc.KeePassXC", 7));
  EXPECT_TRUE(filter.excludesApplication("other", 42));
  EXPECT_FALSE(filter.excludesApplication("other", 0));
}

TEST(PixelBufferTest, PixelsAreBGRAInMemory) {
  PixelBuffer buffer(2, 1);
  buffer.setPixel(1, 0, 0xFF112233);
  EXPECT_EQ(buffer.data()[4], 0x33);
  EXPECT_EQ(buffer.data()[6], 0x11);
  EXPECT_EQ(buffer.pixel(1, 0), 0xFF112233u);
}

}  // namespace
}  // namespace corvane::platform
