#pragma once

#include <QWidget>
#include <memory>

#include "verification/source_mask_layout.h"
#include "verification/source_redaction_overlay_content.h"

namespace corvane::ui {

// Draws the source masks of a layout: each a filled rounded rectangle with a faint border, a lock
// and, where the layout gives one, its label. Everything else of the view stays transparent.
class SourceRedactionOverlayView final : public QWidget {
 public:
  explicit SourceRedactionOverlayView(QWidget* parent = nullptr);

  void setLayout(verification::SourceMaskLayout layout);
  const verification::SourceMaskLayout& maskLayout() const { return layout_; }
  // The label's size in the font it is drawn with.
  QSizeF labelSize(const QString& text, qreal fontSize) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void drawMaskContent(QPainter& painter, const verification::SourceMaskContentLayout& content);

  verification::SourceMaskLayout layout_;
};

// The factory the app gives the overlay manager: each panel gets a new view.
verification::SourceRedactionOverlayContentFactory makeSourceRedactionOverlayContentFactory();

}  // namespace corvane::ui
