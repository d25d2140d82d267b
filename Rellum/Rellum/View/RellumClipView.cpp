#include "Rellum/View/RellumClipView.h"

#include <cmath>

RellumClipView::RellumClipView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("clipView"));
    setFocusPolicy(Qt::NoFocus);
}

RellumPageSize RellumClipView::maximumPageSizeForSize(double width, double height) const {
    if (!(charWidth_ > 0) || !(lineHeight_ > 0) || !std::isfinite(width) || !std::isfinite(height)) return {};
    const double columns = std::floor(std::max(0.0, width) / charWidth_);
    const double rows = std::floor(std::max(0.0, height) / lineHeight_);
    return {int64_t(columns), int64_t(rows)};
}

RellumSize RellumClipView::minimumSizeForPageSize(RellumPageSize size) const {
    return {double(size.width) * charWidth_, double(size.height) * lineHeight_};
}

QRectF RellumClipView::insetFrame(const QRectF& proposed) const {
    const double W = proposed.width(), H = proposed.height();
    // Before a font is set there are no cells to centre: just the insets.
    if (!(charWidth_ > 0) || !(lineHeight_ > 0))
        return QRectF(proposed.x() + kHorizontalInset, proposed.y() + kVerticalInset,
                      std::max(0.0, W - 2 * kHorizontalInset), std::max(0.0, H - 2 * kVerticalInset));
    const RellumPageSize page = maximumPageSizeForSize(W - 2 * kHorizontalInset, H - 2 * kVerticalInset);
    const RellumSize used = minimumSizeForPageSize(page);
    const double dx = W > used.width + 2 * kHorizontalInset
                          ? (W - (used.width + 2 * kHorizontalInset)) / 2 + kHorizontalInset
                          : kHorizontalInset;
    const double dy = H > used.height + 2 * kVerticalInset
                          ? (H - (used.height + 2 * kVerticalInset)) / 2 + kVerticalInset
                          : kVerticalInset;
    return QRectF(proposed.x() + dx, proposed.y() + dy, std::max(0.0, W - 2 * dx), std::max(0.0, H - 2 * dy));
}

void RellumClipView::setFrame(const QRect& proposed) {
    const QRectF f = insetFrame(QRectF(proposed));
    // Whole pixels: the origin rounded down, the size rounded up so that no
    // row or column of cells is cut off by a fraction.
    const int x = int(std::floor(f.x())), y = int(std::floor(f.y()));
    setGeometry(x, y, int(std::ceil(f.right())) - x, int(std::ceil(f.bottom())) - y);
}
