#include "Rellum/RellumTerminal.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Modes, style and colours, the replies to the host's requests, margins,
// scrolling, reverse video, window operations and titles. All run on the
// render queue; replies leave at once through writeData, window changes
// travel to the main thread as edit blocks, and window reports read the
// snapshot the view publishes.

namespace {

uint64_t pageColumns(const RellumContext& context) {
    return uint64_t(std::max<int64_t>(1, context.pageSize().width));
}

uint64_t pageRows(const RellumContext& context) {
    return uint64_t(std::max<int64_t>(1, context.pageSize().height));
}

// A window coordinate as the integer a report carries (truncated, kept
// inside int so no value the view publishes can overflow the conversion).
long long reportInteger(double value) {
    if (std::isnan(value)) return 0;
    constexpr double lo = double(std::numeric_limits<int>::min());
    constexpr double hi = double(std::numeric_limits<int>::max());
    return (long long)std::clamp(value, lo, hi);
}

// A window coordinate from the host: a missing value arrives as a huge
// number, which no screen has.
bool isScreenCoordinate(double value) {
    return std::isfinite(value) && std::fabs(value) <= 1.0e6;
}

std::string csi() {
    return std::string("\x1b[");
}

} // namespace

void RellumTerminal::writeReply(const std::string& reply) {
    writeData(reply);
}

// ---- Tab stops, style and colours ----

void RellumTerminal::addTextStyleMask(RellumScanner&, uint64_t mask) {
    context_->setTextStyleMask(context_->textStyleMask() | mask);
}

void RellumTerminal::removeTextStyleMask(RellumScanner&, uint64_t mask) {
    context_->setTextStyleMask(context_->textStyleMask() & ~mask);
}

void RellumTerminal::scannerResetTextStyleAndBGFG(RellumScanner&) {
    context_->resetRendition();
}

void RellumTerminal::setBackgroundWithColorIndex(RellumScanner&, uint8_t index) {
    context_->setCurrentBackgroundColor(rellum_colorForColorIndex(index));
}

void RellumTerminal::setForegroundWithColorIndex(RellumScanner&, uint8_t index) {
    context_->setCurrentTextColor(rellum_colorForColorIndex(index));
}

void RellumTerminal::setBackgroundColor(RellumScanner&, std::optional<RellumColor> color) {
    context_->setCurrentBackgroundColor(color);
}

void RellumTerminal::setForegroundColor(RellumScanner&, std::optional<RellumColor> color) {
    context_->setCurrentTextColor(color);
}

void RellumTerminal::applyGraphicRendition(RellumScanner& scanner, const RellumParameterList& list) {
    if (sgrMemoThrift_.resting() || list.size() > kSGRMemoValues) {
        RellumScannerDelegate::applyGraphicRendition(scanner, list);
        return;
    }
    // The result depends on the rendition in force alone (the palette of
    // indexed colours is fixed), and its number names it whole, fonts too.
    const uint32_t from = renditionNumber(RellumCellRole::Text) >> 3;
    SGRMemo key;
    key.count = uint32_t(list.size());
    uint64_t h = from * 0x9e3779b97f4a7c15ull + key.count;
    for (std::size_t i = 0; i < list.size(); ++i) {
        key.values[i] = uint32_t(list[i]); // values are clamped far below 2^32
        h = (h ^ list[i]) * 0xc2b2ae3d27d4eb4full;
    }
    SGRMemo& slot = sgrMemo_[(h ^ (h >> 32)) % sgrMemo_.size()];
    if (slot.epoch == sgrMemoEpoch_ && slot.from == from && slot.count == key.count &&
        slot.values == key.values) {
        context_->setStyleAndColors(renditions_[slot.to].rendition);
        renditionGeneration_ = context_->renditionGeneration();
        renditionIndex_ = slot.to;
        sgrMemoThrift_.hit();
        return;
    }
    sgrMemoThrift_.miss();
    RellumScannerDelegate::applyGraphicRendition(scanner, list);
    key.epoch = sgrMemoEpoch_;
    key.from = from;
    key.to = renditionNumber(RellumCellRole::Text) >> 3;
    slot = key;
}

// ---- Mouse, focus, paste and margin modes ----

void RellumTerminal::setMouseReportType(RellumScanner&, uint64_t type) {
    context_->setMouseReportType(type);
}

void RellumTerminal::setMouseReportProtocol(RellumScanner&, uint64_t protocol) {
    context_->setMouseReportProtocol(protocol);
}

void RellumTerminal::enableFocusEventsReport(RellumScanner&, bool enabled) {
    context_->setFocusReportMode(enabled);
}

void RellumTerminal::enableBracketedPasteMode(RellumScanner&, bool enabled) {
    context_->setBracketedPasteMode(enabled);
}

void RellumTerminal::respectsHorizontalMargin(RellumScanner&, bool respects) {
    context_->setRespectsHorizontalMargin(respects);
}

// ---- Scrolling ----

void RellumTerminal::scrollUpWithCount(RellumScanner&, uint64_t count) {
    activeGrid()->panDownWithCount(std::min(count, pageRows(*context_)));
}

void RellumTerminal::scrollDownWithCount(RellumScanner&, uint64_t count) {
    activeGrid()->panUpWithCount(std::min(count, pageRows(*context_)));
}

// ---- Margins ----

void RellumTerminal::setPageMarginTop(RellumScanner&, uint64_t top, uint64_t bottom) {
    const uint64_t rows = pageRows(*context_);
    if (bottom == 0) bottom = rows;
    const uint64_t topIndex = top < 2 ? 0 : top - 1;
    const uint64_t bottomIndex = bottom < 2 ? 0 : bottom - 1;
    if (bottomIndex > topIndex && bottomIndex < rows)
        context_->setVerticalPageMargin({topIndex, bottomIndex - topIndex + 1});
}

void RellumTerminal::setPageMarginLeft(RellumScanner&, uint64_t left, uint64_t right) {
    if (!context_->respectsHorizontalMargin()) return;
    const uint64_t columns = pageColumns(*context_);
    // A missing right margin is the last column; a region whose right
    // margin is not after its left one, or lies past the page, is refused.
    if (right == 0) right = columns;
    const uint64_t leftIndex = left < 2 ? 0 : left - 1;
    const uint64_t rightIndex = right - 1;
    if (rightIndex <= leftIndex || rightIndex >= columns) return;
    if (leftIndex == 0 && rightIndex == columns - 1)
        context_->setHorizontalPageMargin({0, 0});
    else
        context_->setHorizontalPageMargin({leftIndex, rightIndex - leftIndex + 1});
}

// ---- Reverse video ----

void RellumTerminal::enableReverseVideoMode(RellumScanner&, bool enabled) {
    if (enabled == context_->reverseVideoMode()) return;
    context_->setReverseVideoMode(enabled);
    const std::optional<RellumColor> text = defaultTextColor(), background = defaultBackgroundColor();
    const std::optional<RellumColor> newBackground = enabled ? text : background;
    const std::optional<RellumColor> newText = enabled ? background : text;
    const std::optional<RellumColor> oldText = context_->videoTextColor();
    context_->setVideoBackgroundColor(newBackground);
    context_->setVideoTextColor(newText);
    appendEditBlock([this, newBackground, newText, oldText] {
        if (RellumScreenController* controller = screenController())
            controller->updateBackgroundColor(newBackground);
        if (!oldText || !newText) return;
        if (RellumTextStorage* storage = primaryTextStorage())
            rellum_replaceForegroundColor(*storage, *oldText, *newText);
        if (RellumTextStorage* storage = alternateTextStorage())
            rellum_replaceForegroundColor(*storage, *oldText, *newText);
    });
}

// ---- Replies ----

void RellumTerminal::scannerRequestPrimaryDeviceAttribute(RellumScanner&) {
    writeReply(csi().append("?1;2c"));
}

void RellumTerminal::scannerRequestSecondaryDeviceAttribute(RellumScanner&) {
    writeReply(csi().append(">0;95;0c"));
}

void RellumTerminal::scannerReportOperatingStatus(RellumScanner&) {
    writeReply(csi().append("0n"));
}

void RellumTerminal::reportCursorPositionWithExtended(RellumScanner&, bool extended) {
    const RellumGrid* grid = activeGrid();
    uint64_t row = grid->cursorY(), column = grid->cursorX();
    if (context_->originMode()) {
        const uint64_t top = context_->topPageMargin(), left = context_->leftPageMargin();
        row = row >= top ? row - top : 0;
        column = column >= left ? column - left : 0;
    }
    std::string reply = csi();
    if (extended) reply += '?';
    reply.append(std::to_string(row + 1)).append(";").append(std::to_string(column + 1)).append("R");
    writeReply(reply);
}

void RellumTerminal::scannerReportWindowState(RellumScanner&) {
    writeReply(csi().append(windowSnapshot_->state().miniaturized ? "2t" : "1t"));
}

void RellumTerminal::scannerReportWindowPosition(RellumScanner&) {
    const RellumPoint point = windowSnapshot_->state().windowTopLeftPoint;
    writeReply(csi()
                   .append("3;")
                   .append(std::to_string(reportInteger(point.x)))
                   .append(";")
                   .append(std::to_string(reportInteger(point.y)))
                   .append("t"));
}

void RellumTerminal::scannerReportWindowSize(RellumScanner&) {
    const std::optional<RellumSize> size = windowSnapshot_->state().viewFrameSize;
    const long long height = size ? reportInteger(size->height) : 0;
    const long long width = size ? reportInteger(size->width) : 0;
    writeReply(csi()
                   .append("4;")
                   .append(std::to_string(height))
                   .append(";")
                   .append(std::to_string(width))
                   .append("t"));
}

void RellumTerminal::scannerReportPageSize(RellumScanner&) {
    const RellumPageSize size = activeGrid()->pageSize();
    writeReply(csi()
                   .append("8;")
                   .append(std::to_string(size.height))
                   .append(";")
                   .append(std::to_string(size.width))
                   .append("t"));
}

void RellumTerminal::scannerReportMaxPageSize(RellumScanner&) {
    // Without a view the largest page is the one in use.
    const RellumPageSize size = windowSnapshot_->state().maximalPageSize.value_or(activeGrid()->pageSize());
    writeReply(csi()
                   .append("9;")
                   .append(std::to_string(std::max(size.height, kMinimumRows)))
                   .append(";")
                   .append(std::to_string(std::max(size.width, kMinimumColumns)))
                   .append("t"));
}

std::string RellumTerminal::rellum_reportableTitle(std::string_view title) {
    std::string out;
    out.reserve(title.size());
    std::size_t i = 0;
    while (i < title.size()) {
        const unsigned char lead = static_cast<unsigned char>(title[i]);
        std::size_t length = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            c = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            c = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            c = lead & 0x07;
        }
        bool valid = length > 0 && i + length <= title.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned char b = static_cast<unsigned char>(title[i + k]);
            if ((b & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (b & 0x3F);
        }
        if (valid) {
            static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            valid = c >= least[length] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        }
        if (!valid) {
            ++i; // a malformed byte is dropped on its own
            continue;
        }
        // C0, DEL and C1 could end the reply early or act on the host's side.
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (!control) out.append(title.substr(i, length));
        i += length;
    }
    return out;
}

void RellumTerminal::scannerReportTerminalTitle(RellumScanner&, bool iconMode) {
    const std::optional<std::string> title = terminalTitle();
    std::string reply("\x1b]");
    reply += iconMode ? 'L' : 'l';
    reply.append(rellum_reportableTitle(title.value_or(std::string())));
    reply.append("\x1b\\");
    writeReply(reply);
}

// ---- Window operations ----

void RellumTerminal::iconifyWindow(RellumScanner&, bool iconify) {
    appendEditBlock([this, iconify] {
        if (RellumScreenController* controller = screenController()) controller->iconifyWindow(iconify);
    });
}

void RellumTerminal::moveWindowToOrigin(RellumScanner&, RellumPoint origin) {
    if (!isScreenCoordinate(origin.x) || !isScreenCoordinate(origin.y)) return;
    appendEditBlock([this, origin] {
        if (RellumScreenController* controller = screenController()) controller->moveWindowToOrigin(origin);
    });
}

void RellumTerminal::raiseWindow(RellumScanner&, bool raise) {
    appendEditBlock([this, raise] {
        if (RellumScreenController* controller = screenController()) controller->raiseWindow(raise);
    });
}

void RellumTerminal::resizeViewToSize(RellumScanner&, RellumSize) {}

RellumPageSize RellumTerminal::hostPageSizeLimit() const {
    RellumPageSize limit{kHostPageColumnsLimit, kHostPageRowsLimit};
    if (const std::optional<RellumPageSize> maximal = windowSnapshot_->state().maximalPageSize) {
        limit.width = std::clamp(maximal->width, kMinimumColumns, kHostPageColumnsLimit);
        limit.height = std::clamp(maximal->height, kMinimumRows, kHostPageRowsLimit);
    }
    return limit;
}

void RellumTerminal::resizePageToRow(RellumScanner&, uint64_t row, uint64_t column) {
    const RellumPageSize current = context_->pageSize();
    const RellumPageSize limit = hostPageSizeLimit();
    // 0 and an unreadable value keep the current size; the rest is kept
    // between the smallest page the terminal uses and what the view can show.
    auto side = [](uint64_t asked, int64_t now, int64_t least, int64_t most) {
        if (asked == 0 || asked >= RellumNotFound) return now;
        return std::clamp(int64_t(std::min<uint64_t>(asked, uint64_t(most))), least, most);
    };
    const RellumPageSize size{side(column, current.width, kMinimumColumns, limit.width),
                              side(row, current.height, kMinimumRows, limit.height)};
    if (size == current) return;
    // The context and both grids take it now (the view is not resized and
    // the owner is not asked).
    didChangePageSize(size);
}

// ---- Titles ----

void RellumTerminal::notifyTitleChange(const std::optional<std::string>& title) {
    if (auto d = delegate()) d->didChangeTerminalTitle(*this, title);
}

void RellumTerminal::scannerPushTerminalTitle(RellumScanner&) {
    terminalTitleStack_.push_back(terminalTitle().value_or(std::string()));
    if (terminalTitleStack_.size() > kTitleStackLimit)
        terminalTitleStack_.erase(terminalTitleStack_.begin(),
                                  terminalTitleStack_.end() - std::ptrdiff_t(kTitleStackLimit));
}

void RellumTerminal::scannerPopTerminalTitle(RellumScanner&) {
    if (terminalTitleStack_.empty()) return;
    std::optional<std::string> title = std::move(terminalTitleStack_.back());
    terminalTitleStack_.pop_back();
    setTerminalTitle(title);
    notifyTitleChange(title);
}

void RellumTerminal::setTerminalTitle(RellumScanner&, const std::optional<std::string>& title) {
    setTerminalTitle(title);
    notifyTitleChange(title);
}

void RellumTerminal::setURLTitle(RellumScanner&, const std::optional<std::string>& url) {
    setRepresentedURL(url);
    if (auto d = delegate()) d->didChangeCurrentDirectory(*this, url);
}
