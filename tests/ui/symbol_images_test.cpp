#include <gtest/gtest.h>

#include <string>

#include "model/protected_application_catalog.h"
#include "qt_test_support.h"
#include "ui/symbol_images.h"

namespace corvane::ui {
namespace {

// Every symbol name the output window, the menu-bar popover, the presenter bar, the source guard
// and the setup and settings windows ask for.
const char* const kSymbolNames[] = {
    "1.magnifyingglass",
    "app.badge",
    "app.fill",
    "arrow.clockwise",
    "arrow.counterclockwise",
    "arrow.down.right.and.arrow.up.left",
    "arrow.left.and.right.circle.fill",
    "arrow.right",
    "arrow.triangle.2.circlepath",
    "arrow.triangle.2.circlepath.circle.fill",
    "arrow.up.and.down.and.arrow.left.and.right",
    "arrow.up.left.and.arrow.down.right",
    "bell",
    "bell.badge",
    "bubble.left.and.bubble.right.fill",
    "checklist",
    "checkmark.circle.fill",
    "checkmark.seal.fill",
    "checkmark.shield",
    "checkmark.shield.fill",
    "checkmark.square",
    "chevron.right",
    "circle",
    "desktopcomputer",
    "display",
    "display.2",
    "dollarsign.circle",
    "ellipsis",
    "ellipsis.circle",
    "envelope",
    "envelope.fill",
    "exclamationmark.triangle",
    "exclamationmark.triangle.fill",
    "eye",
    "eye.slash",
    "eye.slash.fill",
    "folder",
    "gearshape",
    "globe",
    "hourglass",
    "info.circle",
    "key",
    "key.fill",
    "line.3.horizontal",
    "lock.doc.fill",
    "lock.fill",
    "lock.rectangle.stack.fill",
    "lock.shield.fill",
    "menubar.rectangle",
    "message.fill",
    "minus.circle.fill",
    "paperplane.fill",
    "pause.fill",
    "person",
    "phone",
    "play.fill",
    "plus",
    "record.circle",
    "rectangle.dashed.badge.record",
    "rectangle.on.rectangle",
    "rectangle.on.rectangle.angled",
    "rectangle.stack.badge.minus",
    "rectangle.stack.fill",
    "shield",
    "slider.horizontal.3",
    "square.and.arrow.down",
    "square.and.arrow.up",
    "square.grid.2x2",
    "stop.fill",
    "textformat",
    "trash",
    "video",
    "viewfinder",
    "xmark",
    "xmark.circle",
    "xmark.circle.fill",
};

class SymbolImagesTest : public ::testing::Test, public testing::QtRuntimeFixture {};

TEST_F(SymbolImagesTest, EveryNameTheViewsUseHasItsOwnIconDrawnInTheTint) {
  const QColor tint(23, 158, 64);
  const QImage fallback = SymbolImages::shared().image("no.such.symbol", 24, tint);
  for (const char* name : kSymbolNames) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(SymbolImages::shared().hasSymbol(name));
    const QImage image = SymbolImages::shared().image(name, 24, tint);
    ASSERT_EQ(image.size(), QSize(24, 24));
    // The tint shows, and the drawing is not the fallback glyph.
    EXPECT_GT(testing::countPixelsNear(image, tint.rgb(), 40), 4);
    EXPECT_NE(image, fallback);
  }
}

TEST_F(SymbolImagesTest, EveryStoredExcludedAppSymbolHasItsIcon) {
  for (const auto& app : model::ProtectedApp::defaults()) {
    EXPECT_TRUE(SymbolImages::shared().hasSymbol(app.systemImage)) << app.systemImage;
  }
  EXPECT_TRUE(
      SymbolImages::shared().hasSymbol(model::ProtectedApplicationCatalog::importedAppSymbol));
}

TEST_F(SymbolImagesTest, UnknownNameDrawsAVisibleFallback) {
  EXPECT_FALSE(SymbolImages::shared().hasSymbol("no.such.symbol"));
  const QImage image = SymbolImages::shared().image("no.such.symbol", 32, Qt::red);
  int opaque = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
  }
  EXPECT_GT(opaque, 30);
}

TEST_F(SymbolImagesTest, WhiteDetailsStayWhiteOnFilledSymbols) {
  const QImage image = SymbolImages::shared().image("checkmark.circle.fill", 48, QColor(200, 0, 0));
  EXPECT_GT(testing::countPixelsNear(image, qRgb(255, 255, 255), 30), 10);
  EXPECT_GT(testing::countPixelsNear(image, qRgb(200, 0, 0), 30), 200);
}

TEST_F(SymbolImagesTest, HighDensityImagesHaveMorePixels) {
  const QImage image = SymbolImages::shared().image("pause.fill", 16, Qt::black, 2.0);
  EXPECT_EQ(image.size(), QSize(32, 32));
  EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 2.0);
}

TEST_F(SymbolImagesTest, DrawnImagesAreKeptAndDecodedOnce) {
  auto& images = SymbolImages::shared();
  const QImage first = images.image("lock.fill", 18, QColor(10, 120, 40), 2.0);
  // The same request hands back the very image drawn before; any difference draws a new one.
  EXPECT_EQ(images.image("lock.fill", 18, QColor(10, 120, 40), 2.0).cacheKey(), first.cacheKey());
  EXPECT_NE(images.image("lock.fill", 18, QColor(10, 120, 41), 2.0).cacheKey(), first.cacheKey());
  EXPECT_NE(images.image("lock.fill", 18, QColor(10, 120, 40), 1.0).cacheKey(), first.cacheKey());
  EXPECT_NE(images.image("lock.fill", 20, QColor(10, 120, 40), 2.0).cacheKey(), first.cacheKey());
}

}  // namespace
}  // namespace corvane::ui
