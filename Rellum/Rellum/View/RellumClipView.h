#pragma once

#include "Rellum/RellumGeometry.h"

#include <QRectF>
#include <QWidget>

// The area the text is drawn in: it knows the cell metrics, turns a size into
// the page that fits it, and centres itself in the frame it is given so that
// the space left over from whole cells is shared equally on both sides.
class RellumClipView : public QWidget {
    Q_OBJECT
public:
    // Space kept on the left and right, and on the top and bottom, of the text.
    static constexpr double kHorizontalInset = 4;
    static constexpr double kVerticalInset = 2;

    explicit RellumClipView(QWidget* parent = nullptr);

    double lineHeight() const { return lineHeight_; }
    double charWidth() const { return charWidth_; }
    void setLineHeight(double lineHeight) { lineHeight_ = lineHeight; }
    void setCharWidth(double charWidth) { charWidth_ = charWidth; }

    // Whole columns and rows that fit; (0, 0) while a metric is not a
    // positive number (before a font is set), so nothing divides by zero.
    RellumPageSize maximumPageSizeForSize(double width, double height) const;
    RellumSize minimumSizeForPageSize(RellumPageSize size) const;

    // The frame the text area takes for a proposed frame: at least the
    // insets from every edge, leftover space shared on both sides.
    QRectF insetFrame(const QRectF& proposed) const;
    // Takes the inset frame of a proposed one.
    void setFrame(const QRect& proposed);

private:
    double lineHeight_ = 0;
    double charWidth_ = 0;
};
