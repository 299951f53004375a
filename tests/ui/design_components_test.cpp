#include <gtest/gtest.h>

#include <QLabel>
#include <QPixmap>

#include "qt_test_support.h"
#include "ui/design_components.h"

namespace corvane::ui {
namespace {

class DesignComponentsTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  // Renders a widget at `size` on a white window background.
  QImage render(QWidget& widget, QSize size) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Button, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
    widget.resize(size);
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
};

TEST_F(DesignComponentsTest, SidebarItemIs34HighAndFillsItsSelectedRowAt8PercentBlack) {
  int clicks = 0;
  SidebarItem selected("General", "rectangle.stack.badge.minus", true, [&] { ++clicks; });
  SidebarItem plain("Alerts", "bell", false, [] {});
  EXPECT_EQ(selected.sizeHint().height(), 34);
  EXPECT_EQ(selected.minimumHeight(), 34);
  EXPECT_EQ(selected.maximumHeight(), 34);

  const QImage on = render(selected, QSize(200, 34));
  const QImage off = render(plain, QSize(200, 34));
  ASSERT_EQ(on.height(), 34);
  // Inside the row, away from symbol and title: white under black at 0.08 is 235.
  const QRgb fill = on.pixel(190, 17);
  EXPECT_NEAR(qRed(fill), 235, 2);
  EXPECT_NEAR(qGreen(fill), 235, 2);
  EXPECT_EQ(off.pixel(190, 17), qRgb(255, 255, 255));
  // The rounded corner (radius 7) leaves the very corner unfilled.
  EXPECT_GT(qRed(on.pixel(0, 0)), 250);
  EXPECT_NEAR(qRed(on.pixel(7, 0)), 235, 3);

  selected.click();
  EXPECT_EQ(clicks, 1);
  selected.setSelected(false);
  EXPECT_EQ(render(selected, QSize(200, 34)).pixel(190, 17), qRgb(255, 255, 255));
}

TEST_F(DesignComponentsTest, ActionTileRunsItsActionOnlyWhenEnabled) {
  int runs = 0;
  ActionTile enabled("Hide Preview", "eye.slash", true, [&] { ++runs; });
  ActionTile disabled("Output Hidden", "eye.slash.fill", false, [&] { runs += 10; });
  enabled.click();
  disabled.click();
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(disabled.isEnabled());
  // The symbol is drawn, darker when enabled than when faded.
  const QImage bright = render(enabled, QSize(96, 58));
  const QImage faded = render(disabled, QSize(96, 58));
  EXPECT_GT(testing::countPixelsNear(bright, qRgb(0, 0, 0), 60),
            testing::countPixelsNear(faded, qRgb(0, 0, 0), 60));
  EXPECT_EQ(enabled.title(), "Hide Preview");
  EXPECT_EQ(enabled.systemImage(), "eye.slash");
}

TEST_F(DesignComponentsTest, SectionTitleIs13PointSemiboldWithOptionalSubtitle) {
  SectionTitle withSubtitle(
      "Capture performance",
      std::string("Live diagnostics for the active Protected Share session."));
  SectionTitle alone("Health");
  EXPECT_EQ(withSubtitle.titleLabel()->font().pixelSize(), 13);
  EXPECT_EQ(withSubtitle.titleLabel()->font().weight(), QFont::DemiBold);
  ASSERT_NE(withSubtitle.subtitleLabel(), nullptr);
  EXPECT_LT(withSubtitle.subtitleLabel()->font().pixelSize(), 13);
  EXPECT_EQ(withSubtitle.subtitleLabel()->text(),
            "Live diagnostics for the active Protected Share session.");
  EXPECT_EQ(alone.subtitleLabel(), nullptr);
  EXPECT_GT(withSubtitle.sizeHint().height(), alone.sizeHint().height());
}

TEST_F(DesignComponentsTest, StatusPillDrawsSymbolAndTitleInItsColourOnATint) {
  const QColor green = QColor::fromRgbF(0.09f, 0.62f, 0.25f);
  StatusPill pill("Protected Share Live", "checkmark.shield.fill", green);
  const QImage image = render(pill, pill.sizeHint());
  // Strong colour in symbol and text; a light tint of it as the capsule's fill.
  EXPECT_GT(testing::countPixelsNear(image, green.rgb(), 40), 20);
  const QRgb tint = image.pixel(image.width() - 4, image.height() / 2);
  EXPECT_LT(qRed(tint), 250);
  EXPECT_GT(qGreen(tint), qRed(tint));
  pill.set("Needs Attention", "exclamationmark.triangle.fill", QColor(242, 191, 31));
  EXPECT_EQ(pill.title(), "Needs Attention");
  EXPECT_GT(testing::countPixelsNear(render(pill, pill.sizeHint()), qRgb(242, 191, 31), 40), 20);
}

}  // namespace
}  // namespace corvane::ui

namespace corvane::ui {
namespace {

class QtPaletteThemeTest : public ::testing::Test, public testing::QtRuntimeFixture {};

TEST_F(QtPaletteThemeTest, ThemeColoursFollowTheApplicationPalette) {
  const QPalette saved = QApplication::palette();
  QPalette dark = saved;
  dark.setColor(QPalette::Window, QColor(30, 31, 34));
  dark.setColor(QPalette::Base, QColor(44, 45, 50));
  dark.setColor(QPalette::Mid, QColor(80, 82, 90));
  QApplication::setPalette(dark);
  EXPECT_EQ(toQColor(model::Palette::appBackground()).rgb(), QColor(30, 31, 34).rgb());
  EXPECT_EQ(toQColor(model::Palette::panelSurface()).rgb(), QColor(44, 45, 50).rgb());
  EXPECT_EQ(toQColor(model::Palette::panelBorder()).rgb(), QColor(80, 82, 90).rgb());
  QApplication::setPalette(saved);
  EXPECT_EQ(toQColor(model::Palette::appBackground()).rgb(), saved.color(QPalette::Window).rgb());
  // The fixed colours stay fixed.
  EXPECT_EQ(toQColor(model::Palette::criticalRed()).rgb(),
            QColor::fromRgbF(0.92f, 0.18f, 0.18f).rgb());
}

}  // namespace
}  // namespace corvane::ui
