// rellum-screenshot-cursor-check: given a focused and an unfocused shot of
// the same terminal, checks that they differ only in how the cursor is
// drawn: a filled cell with the focus, that cell's outline without it.

#include <QColor>
#include <QImage>
#include <QRect>

#include <cstdio>

namespace {

int failWith(const char* why) {
    std::fprintf(stderr, "rellum-screenshot-cursor-check: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: rellum-screenshot-cursor-check FOCUSED.png UNFOCUSED.png\n");
        return 64;
    }
    const QImage focused = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QImage unfocused = QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
    if (focused.isNull() || unfocused.isNull()) return failWith("cannot read the two images");
    if (focused.size() != unfocused.size()) return failWith("the two shots differ in size");

    // Where they differ: the inside of the cursor cell, which only the
    // focused cursor fills.
    QRect inside;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            if (focused.pixel(x, y) != unfocused.pixel(x, y)) inside |= QRect(x, y, 1, 1);
    if (inside.isNull()) return failWith("the unfocused shot is the focused one");

    const QRgb cursor = focused.pixel(inside.center());
    if (unfocused.pixel(inside.center()) == cursor) return failWith("the unfocused cursor is filled");
    // The cell's edge, one pixel round the difference, is the cursor's colour
    // in both: the focused fill and the unfocused outline.
    const QRect cell = inside.adjusted(-1, -1, 1, 1);
    int edge = 0, outlined = 0, filled = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            if (inside.contains(x, y) || !focused.rect().contains(x, y)) continue;
            ++edge;
            if (unfocused.pixel(x, y) == cursor) ++outlined;
            if (focused.pixel(x, y) == cursor) ++filled;
        }
    if (edge == 0 || outlined != edge || filled != edge) {
        std::fprintf(stderr, "rellum-screenshot-cursor-check: %d of %d edge pixels outlined, %d filled\n",
                     outlined, edge, filled);
        return failWith("the unfocused cursor is not the focused cell's outline");
    }
    std::printf("cursor %dx%d at (%d, %d): filled with the focus, outlined without it\n", cell.width(),
                cell.height(), cell.x(), cell.y());
    return 0;
}
