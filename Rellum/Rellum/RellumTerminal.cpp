#include "Rellum/RellumTerminal.h"

#include "Dispatch/MainQueue.h"
#include "Dispatch/SerialQueue.h"
#include "Foundation/Assert.h"
#include "Rellum/RellumElements.h"
#include "Rellum/Scanner/RellumScannerTokenType.h"
#include "Wendle/WendleDispatch.h"

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

RellumTerminal::RellumTerminal(std::weak_ptr<RellumTerminalDelegate> delegate, Options options)
    : delegate_(std::move(delegate)) {
    std::shared_ptr<DispatchClock> clock = options.clock ? options.clock : DispatchClock::steady();
    context_ = std::make_unique<RellumContext>();
    scanner_ = std::make_unique<RellumScanner>(this);
    primaryTextStorage_ = std::make_unique<RellumTextStorage>(kInitialAdvance);
    alternateTextStorage_ = std::make_unique<RellumTextStorage>(kInitialAdvance);
    shownStorage_ = primaryTextStorage_.get();
    if (options.font) {
        baseFont_ = options.font;
        context_->setFont(options.font);
        const double width = context_->cellSize().width;
        primaryTextStorage_->setAdvance(width);
        alternateTextStorage_->setAdvance(width);
    }
    publishFont();
    defaultTextColor_ = rellum_flatWhite();
    defaultBackgroundColor_ = rellum_flatBlack();
    context_->setVideoTextColor(defaultTextColor_);
    context_->setVideoBackgroundColor(defaultBackgroundColor_);
    if (options.renderQueueFactory) renderQueue_ = options.renderQueueFactory(clock);
    if (!renderQueue_)
        renderQueue_ = std::make_unique<SerialQueue>("com.brimble.rellum.render", std::move(clock));
    if (options.screenControllerFactory)
        screenController_ = options.screenControllerFactory(*this, *primaryTextStorage_);
    if (screenController_ && options.font) {
        const RellumCellSize cell = context_->cellSize();
        screenController_->setLineHeight(cell.height, cell.width);
    }
}

RellumTerminal::~RellumTerminal() {
    releaseViewParts();
    renderQueue_.reset();
}

void RellumTerminal::releaseViewParts() {
    // No block holds the terminal any more; a scheduled update must not start.
    scheduledUpdate_.cancel();
    scheduledTrim_.cancel();
    // The last owner may let go on another thread (the end of an update on
    // the render queue, an SSH thread done rendering): the view's parts go on
    // the main thread, and before this object does, so that no event the
    // main thread handles meanwhile (a resize timer, a key) reaches a
    // terminal that is gone. The hop comes before the render queue stops: a
    // stopping queue may not hop. The main thread never waits for those
    // threads; should the hop be given up, the parts still go there later.
    const std::shared_ptr<MainQueue> main = MainQueue::main();
    if (main && !main->isCurrent() && (screenController_ || primaryTextStorage_)) {
        struct MainThreadParts {
            std::unique_ptr<RellumTextStorage> primary, alternate;
            std::unique_ptr<RellumScreenController> controller; // before the storages it shows
        };
        auto parts = std::make_shared<MainThreadParts>();
        parts->primary = std::move(primaryTextStorage_);
        parts->alternate = std::move(alternateTextStorage_);
        parts->controller = std::move(screenController_);
        if (!main->sync([&parts] { parts.reset(); }))
            // Moved in: no reference may stay here once the main thread has run it.
            main->async([parts = std::move(parts)] {});
    }
}

// ---- Delegate and host bytes ----

std::shared_ptr<RellumTerminalDelegate> RellumTerminal::delegate() const {
    std::lock_guard lock(stateMutex_);
    return delegate_.lock();
}

void RellumTerminal::setDelegate(std::weak_ptr<RellumTerminalDelegate> delegate) {
    std::lock_guard lock(stateMutex_);
    delegate_ = std::move(delegate);
}

void RellumTerminal::renderData(std::string data) {
    if (data.empty()) return;
    std::shared_ptr<RellumTerminal> self = shared_from_this();
    // The main thread and the render queue never wait here: a display update
    // holds the render queue while it waits for the main thread, so waiting
    // for a chunk to be scanned there could wait forever.
    const std::shared_ptr<MainQueue> main = MainQueue::main();
    const bool counted = !(main && main->isCurrent()) && !renderQueue_->isCurrent();
    if (counted) {
        freeScannedChunks();
        renderSemaphore_.wait();
    }
    renderQueue_->async([self = std::move(self), data = std::move(data), counted]() mutable {
        self->scanChunk(data);
        if (!counted) return;
        {
            std::lock_guard lock(self->scannedChunksMutex_);
            self->scannedChunks_.push_back(std::move(data));
        }
        self->renderSemaphore_.signal();
    });
}

void RellumTerminal::freeScannedChunks() {
    // Swapped with a buffer of this thread's, so neither list allocates again.
    thread_local std::vector<std::string> scanned;
    {
        std::lock_guard lock(scannedChunksMutex_);
        scanned.swap(scannedChunks_);
    }
    scanned.clear();
}

void RellumTerminal::scanChunk(const std::string& data) {
    ++chunksScanned_;
    ensureGrids();
    if (renditions_.size() >= renditionCompactAt_) compactRenditions();
    scheduleUpdate(data.size());
    scanner_->scanData(data);
}

void RellumTerminal::writeData(std::string_view data) {
    if (data.empty()) return;
    if (std::shared_ptr<RellumTerminalDelegate> d = delegate()) d->writeData(*this, data);
}

void RellumTerminal::writeString(std::string_view string) {
    // Well-formed UTF-8 passes unchanged; every malformed sequence becomes U+FFFD.
    std::string out;
    out.reserve(string.size());
    const auto* s = reinterpret_cast<const unsigned char*>(string.data());
    const std::size_t n = string.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        std::size_t len = 0;
        char32_t min = 0;
        if (c < 0x80) {
            out.push_back(char(c));
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            min = 0x10000;
        }
        bool ok = len > 0 && i + len <= n;
        char32_t cp = len ? char32_t(c & (0x7F >> len)) : 0;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (ok) {
            out.append(string.substr(i, len));
            i += len;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
            while (i < n && (s[i] & 0xC0) == 0x80)
                ++i;
        }
    }
    writeData(out);
}

// ---- Page size ----

RellumPageSize RellumTerminal::maxAllowedPageSize() {
    RellumPageSize size = screenController_ ? screenController_->maximalPageSize() : RellumPageSize{};
    size.width = std::max(size.width, kMinimumColumns);
    size.height = std::max(size.height, kMinimumRows);
    return size;
}

void RellumTerminal::initiateWithPageSize(RellumPageSize size) {
    {
        std::lock_guard lock(stateMutex_);
        acceptedPageSize_ = size;
    }
    performOnRenderQueue([size](RellumTerminal& t) {
        t.context_->setPageSize(size);
        t.flushShadows();
        t.primaryGrid_ = std::make_unique<RellumGrid>(size, t.context_.get(), false, &t);
        t.alternateGrid_ = std::make_unique<RellumGrid>(size, t.context_.get(), true, &t);
        if (t.maxScrollbackSet_) t.primaryGrid_->setMaxScrollback(t.maxScrollback_.load());
        t.publishState();
    });
}

void RellumTerminal::ensureGrids() {
    if (primaryGrid_) return;
    RellumPageSize size = pageSize();
    if (size.width <= 0 || size.height <= 0) size = {80, 24};
    context_->setPageSize(size);
    primaryGrid_ = std::make_unique<RellumGrid>(size, context_.get(), false, this);
    alternateGrid_ = std::make_unique<RellumGrid>(size, context_.get(), true, this);
    if (maxScrollbackSet_) primaryGrid_->setMaxScrollback(maxScrollback_.load());
}

RellumPageSize RellumTerminal::pageSize() const {
    std::lock_guard lock(stateMutex_);
    return acceptedPageSize_;
}

void RellumTerminal::willChangePageSize(RellumPageSize size) {
    // Whoever measured the view, the terminal never proposes less than its minimum.
    size.width = std::max(size.width, kMinimumColumns);
    size.height = std::max(size.height, kMinimumRows);
    if (size == pageSize()) return;
    if (std::shared_ptr<RellumTerminalDelegate> d = delegate()) d->changePageSize(*this, size);
}

void RellumTerminal::didChangePageSize(RellumPageSize size) {
    {
        std::lock_guard lock(stateMutex_);
        acceptedPageSize_ = size;
    }
    performOnRenderQueue([size](RellumTerminal& t) {
        t.ensureGrids();
        t.context_->setPageSize(size);
        t.primaryGrid_->setPageSize(size);
        t.alternateGrid_->setPageSize(size);
        t.scheduleUpdate(0);
    });
}

// ---- Grids and storages ----

RellumGrid* RellumTerminal::activeGrid() const {
    return context_->alternateScreenMode() ? alternateGrid_.get() : primaryGrid_.get();
}

RellumTextStorage* RellumTerminal::activeTextStorage() const {
    return screenController_ ? screenController_->contentAttributedString() : shownStorage_;
}

RellumTextStorage* RellumTerminal::textStorageOfGrid(const RellumGrid* grid) const {
    return grid && grid == alternateGrid_.get() ? alternateTextStorage_.get() : primaryTextStorage_.get();
}

uint64_t RellumTerminal::cursorX() const {
    const RellumGrid* grid = activeGrid();
    return grid ? grid->cursorX() : 0;
}

uint64_t RellumTerminal::cursorY() const {
    const RellumGrid* grid = activeGrid();
    return grid ? grid->cursorY() : 0;
}

std::set<uint64_t> RellumTerminal::tabStops() const {
    std::lock_guard lock(stateMutex_);
    return publishedTabStops_;
}

RellumCellSize RellumTerminal::cellSize() const {
    std::lock_guard lock(stateMutex_);
    return publishedCellSize_;
}

std::shared_ptr<const RellumFont> RellumTerminal::font() const {
    std::lock_guard lock(stateMutex_);
    return publishedFont_;
}

void RellumTerminal::publishFont() {
    // Read from any thread, while the render queue may replace the context
    // (a full reset): callers get the copy, never the context itself.
    std::lock_guard lock(stateMutex_);
    publishedFont_ = context_->font();
    publishedCellSize_ = context_->cellSize();
}

void RellumTerminal::setFont(std::shared_ptr<const RellumFont> font) {
    const RellumCellSize cell = font ? font->fontSizeForDrawing() : RellumCellSize{};
    performOnRenderQueue([font](RellumTerminal& t) {
        t.baseFont_ = font;
        t.context_->setFont(font);
        t.publishFont();
        const RellumCellSize size = t.context_->cellSize();
        auto regular = t.context_->font();
        auto bold = t.context_->boldFont();
        auto italic = t.context_->italicFont();
        auto boldItalic = t.context_->boldItalicFont();
        RellumTextStorage* storages[] = {t.primaryTextStorage_.get(), t.alternateTextStorage_.get()};
        t.appendEditBlock([storages, size, regular, bold, italic, boldItalic] {
            const RellumParagraphStyle style = RellumGetParagraphStyle(size);
            for (RellumTextStorage* storage : storages) {
                // The advance first, so fonts of double-width cells get the new width.
                storage->setAdvance(size.width);
                storage->transformAttributes({0, storage->length()},
                                             [&](const RellumTextStorage::AttributesPtr& a) {
                                                 auto copy = a ? std::make_shared<RellumAttributes>(*a)
                                                               : std::make_shared<RellumAttributes>();
                                                 copy->setFont(regular);
                                                 copy->setParagraphStyle(style);
                                                 return RellumTextStorage::AttributesPtr(std::move(copy));
                                             });
                rellum_useFont(*storage, bold, RellumBoldAttribute);
                rellum_useFont(*storage, italic, RellumItalicAttribute);
                rellum_useFont(*storage, boldItalic, RellumBoldItalicAttribute);
            }
        });
    });
    if (screenController_) screenController_->setLineHeight(cell.height, cell.width);
    willChangePageSize(maxAllowedPageSize());
}

uint64_t RellumTerminal::maxScrollback() const {
    return maxScrollback_.load();
}

void RellumTerminal::setMaxScrollback(uint64_t lines) {
    maxScrollback_.store(lines);
    performOnRenderQueue([lines](RellumTerminal& t) {
        t.maxScrollbackSet_ = true;
        if (t.primaryGrid_) t.primaryGrid_->setMaxScrollback(lines);
    });
}

bool RellumTerminal::allowsApplicationKeypad() const {
    return allowsApplicationKeypad_.load();
}

void RellumTerminal::setAllowsApplicationKeypad(bool allows) {
    allowsApplicationKeypad_.store(allows);
    if (!allows)
        performOnRenderQueue([](RellumTerminal& t) { t.context_->setApplicationCursorKeyMode(false); });
}

bool RellumTerminal::useLeftOptionAsMeta() {
    std::shared_ptr<RellumTerminalDelegate> d = delegate();
    return d && d->terminalUseLeftOptionAsMetaKey(*this);
}

bool RellumTerminal::useRightOptionAsMeta() {
    std::shared_ptr<RellumTerminalDelegate> d = delegate();
    return d && d->terminalUseRightOptionAsMetaKey(*this);
}

// ---- Screens and reset ----

void RellumTerminal::showAlternateScreen() {
    performOnRenderQueue([](RellumTerminal& t) { t.setAlternateScreenShown(true); });
}

void RellumTerminal::hideAlternateScreen() {
    performOnRenderQueue([](RellumTerminal& t) { t.setAlternateScreenShown(false); });
}

bool RellumTerminal::validateMenuItem(ScreenAction action) const {
    std::lock_guard lock(stateMutex_);
    if (action == ScreenAction::ShowAlternateScreen) return !publishedAlternateScreen_;
    return publishedAlternateScreen_;
}

void RellumTerminal::setAlternateScreenShown(bool shown) {
    if (context_->alternateScreenMode() == shown) return;
    context_->setAlternateScreenMode(shown);
    RellumTextStorage* target = shown ? alternateTextStorage_.get() : primaryTextStorage_.get();
    appendEditBlock([this, target] {
        shownStorage_ = target;
        if (screenController_) screenController_->replaceTextStorage(target);
    });
}

void RellumTerminal::fullReset() {
    ensureGrids();
    std::optional<RellumColor> text, background;
    {
        std::lock_guard lock(stateMutex_);
        text = defaultTextColor_;
        background = defaultBackgroundColor_;
    }
    const bool wasAlternate = context_->alternateScreenMode();
    auto fresh = std::make_unique<RellumContext>();
    if (baseFont_) fresh->setFont(baseFont_);
    fresh->setPageSize(context_->pageSize());
    fresh->setVideoTextColor(text);
    fresh->setVideoBackgroundColor(background);

    // Both storages are emptied in edit order, whatever they held.
    auto clear = [this](std::unique_ptr<RellumGrid>& grid) {
        const uint64_t last = grid->acutalLineCount() - 1;
        const uint64_t length =
            grid->storageOriginOfLineAtIndex(last) + grid->lineAtIndex(last).characterCount();
        if (length > 0) appendEdit(textStorageOfGrid(grid.get()), {0, length}, PendingText());
    };
    clear(primaryGrid_);
    clear(alternateGrid_);
    // No grid keeps the discarded state: both are rebuilt on the new one.
    const RellumPageSize size = fresh->pageSize();
    primaryGrid_ = std::make_unique<RellumGrid>(size, fresh.get(), false, this);
    alternateGrid_ = std::make_unique<RellumGrid>(size, fresh.get(), true, this);
    if (maxScrollbackSet_) primaryGrid_->setMaxScrollback(maxScrollback_.load());
    context_ = std::move(fresh);
    publishFont();
    if (wasAlternate) {
        RellumTextStorage* primary = primaryTextStorage_.get();
        appendEditBlock([this, primary] {
            shownStorage_ = primary;
            if (screenController_) screenController_->replaceTextStorage(primary);
        });
    }
    scheduleUpdate(0);
}

// ---- Default colours ----

std::optional<RellumColor> RellumTerminal::defaultBackgroundColor() const {
    std::lock_guard lock(stateMutex_);
    return defaultBackgroundColor_;
}

void RellumTerminal::setDefaultBackgroundColor(const RellumColor& color) {
    {
        std::lock_guard lock(stateMutex_);
        defaultBackgroundColor_ = color;
    }
    performOnRenderQueue([color](RellumTerminal& t) {
        if (t.context_->videoBackgroundColor() == color) return;
        t.context_->setVideoBackgroundColor(color);
        t.appendEditBlock([&t, color] {
            if (t.screenController_) t.screenController_->updateBackgroundColor(color);
        });
    });
}

std::optional<RellumColor> RellumTerminal::defaultTextColor() const {
    std::lock_guard lock(stateMutex_);
    return defaultTextColor_;
}

void RellumTerminal::setDefaultTextColor(const RellumColor& color) {
    {
        std::lock_guard lock(stateMutex_);
        defaultTextColor_ = color;
    }
    performOnRenderQueue([color](RellumTerminal& t) {
        const std::optional<RellumColor> old = t.context_->videoTextColor();
        if (old == color) return;
        if (old) {
            RellumTextStorage* primary = t.primaryTextStorage_.get();
            RellumTextStorage* alternate = t.alternateTextStorage_.get();
            const RellumColor from = *old;
            t.appendEditBlock([primary, alternate, from, color] {
                rellum_replaceForegroundColor(*primary, from, color);
                rellum_replaceForegroundColor(*alternate, from, color);
            });
        }
        t.context_->setVideoTextColor(color);
    });
}

// ---- Accessors ----

std::any RellumTerminal::representedObject() const {
    std::lock_guard lock(stateMutex_);
    return representedObject_;
}
void RellumTerminal::setRepresentedObject(std::any object) {
    std::lock_guard lock(stateMutex_);
    representedObject_ = std::move(object);
}
std::optional<std::string> RellumTerminal::representedURL() const {
    std::lock_guard lock(stateMutex_);
    return representedURL_;
}
void RellumTerminal::setRepresentedURL(std::optional<std::string> url) {
    std::lock_guard lock(stateMutex_);
    representedURL_ = std::move(url);
}
std::optional<std::string> RellumTerminal::terminalTitle() const {
    std::lock_guard lock(stateMutex_);
    return terminalTitle_;
}
void RellumTerminal::setTerminalTitle(std::optional<std::string> title) {
    std::lock_guard lock(stateMutex_);
    terminalTitle_ = std::move(title);
}

// ---- Content ----

RellumTextStorage* RellumTerminal::attributedStringOfContent() const {
    return activeTextStorage();
}

std::string RellumTerminal::stringOfContent() const {
    const RellumTextStorage* storage = attributedStringOfContent();
    std::u16string text = storage->string();
    uint64_t i = 0;
    while (i < text.size()) {
        RellumRange run{i, 1};
        auto attributes = storage->attributesAtIndex(i, &run);
        const uint64_t end = std::min<uint64_t>(run.end(), text.size());
        if (attributes && (attributes->isVoid() || attributes->isTab()))
            std::fill(text.begin() + int64_t(i), text.begin() + int64_t(end),
                      attributes->isVoid() ? u'\u00B7' : u'\u2015');
        i = std::max(end, i + 1);
    }
    return RellumUTF8FromUTF16(text);
}

std::optional<std::string> RellumTerminal::debugDescriptionOfLineAtY(uint64_t y) const {
    uint64_t offset;
    {
        std::lock_guard lock(stateMutex_);
        offset = publishedScrollbackLines_;
    }
    const std::string content = stringOfContent();
    uint64_t index = y + offset;
    std::size_t start = 0;
    while (index > 0) {
        const std::size_t nl = content.find('\n', start);
        if (nl == std::string::npos) return std::nullopt;
        start = nl + 1;
        --index;
    }
    const std::size_t nl = content.find('\n', start);
    return content.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
}

const std::map<uint64_t, std::string>& RellumTerminal::tokenTags() {
    static const std::map<uint64_t, std::string> tags = {
        {4000, "Data"},    {2000, "Wait"},  {2001, "Skip"}, {2002, "Unsupport"},
        {2003, "Invalid"}, {2004, "ASCII"}, {2005, "MBCS"}, {2006, "C0"},
        {2007, "C1"},      {2008, "ESC"},   {2009, "DCS"},  {2010, "CSI"},
        {2011, "OSC"},     {2012, "PM"},    {2013, "APC"},  {2014, "SCS"}};
    return tags;
}

RellumRect RellumTerminal::calculateCursorRect() const {
    const RellumCellSize cell = context_->cellSize();
    const RellumGrid* grid = activeGrid();
    if (!grid) return {0, 0, cell.width, cell.height};
    return {double(grid->cursorX()) * cell.width, double(grid->cursorLineIndex()) * cell.height, cell.width,
            cell.height};
}

// ---- Updates ----

void RellumTerminal::performOnRenderQueue(std::function<void(RellumTerminal&)> work) {
    if (renderQueue_->isCurrent()) {
        work(*this);
        return;
    }
    std::weak_ptr<RellumTerminal> weak = weak_from_this();
    if (weak.expired()) {
        // Not yet owned (still being set up by its creator): nothing else runs yet.
        work(*this);
        return;
    }
    renderQueue_->async([weak = std::move(weak), work = std::move(work)] {
        if (std::shared_ptr<RellumTerminal> t = weak.lock()) work(*t);
    });
}

void RellumTerminal::scheduleUpdate(std::size_t chunkLength) {
    if (uiUpdateScheduled_) return;
    uiUpdateScheduled_ = true;
    std::weak_ptr<RellumTerminal> weak = weak_from_this();
    scheduledUpdate_ =
        renderQueue_->asyncAfter(chunkLength < kLongChunkBytes ? kShortChunkDelay : kLongChunkDelay, [weak] {
            if (std::shared_ptr<RellumTerminal> t = weak.lock()) t->flushUpdate();
        });
}

void RellumTerminal::publishState() {
    std::lock_guard lock(stateMutex_);
    publishedTabStops_ = context_->tabStops();
    publishedAlternateScreen_ = context_->alternateScreenMode();
    const RellumGrid* grid = activeGrid();
    publishedScrollbackLines_ = grid ? grid->lineIndexAtY(0) : 0;
}

namespace {

// Runs a pooled edit may keep room for (with kPooledTextLimit, the pool stays
// within about a megabyte).
constexpr std::size_t kPooledRunLimit = 1024;

// Buffers of long edits kept for later ones.
constexpr std::size_t kSpareLongBuffers = 3;

// Keeps `buffer` (emptied) among the `spares` when it holds more than
// `floor`, as one of the kSpareLongBuffers largest; a smaller spare it
// displaces goes back to it.
template <typename Buffer>
void keepLargest(std::vector<Buffer>& spares, Buffer& buffer, std::size_t floor) {
    if (buffer.capacity() <= floor) return;
    buffer.clear();
    if (spares.size() < kSpareLongBuffers) {
        spares.push_back(std::move(buffer));
        buffer = Buffer();
        return;
    }
    auto smallest = std::min_element(spares.begin(), spares.end(), [](const Buffer& a, const Buffer& b) {
        return a.capacity() < b.capacity();
    });
    if (smallest->capacity() < buffer.capacity()) smallest->swap(buffer);
}

// Moves `buffer`'s contents into the largest of the `spares` when that one
// holds more.
template <typename Buffer>
void takeLargest(std::vector<Buffer>& spares, Buffer& buffer) {
    auto largest = std::max_element(spares.begin(), spares.end(), [](const Buffer& a, const Buffer& b) {
        return a.capacity() < b.capacity();
    });
    if (largest == spares.end() || largest->capacity() <= buffer.capacity()) return;
    largest->assign(buffer.begin(), buffer.end());
    buffer.swap(*largest);
    spares.erase(largest);
}

} // namespace

void RellumTerminal::flushUpdate() {
    ensureGrids();
    releaseHeldText(*scanner_);
    flushShadows();
    const std::shared_ptr<MainQueue> main = MainQueue::main();
    ORVIK_ASSERT(main != nullptr);
    // One update at a time is applied on the main thread while this queue
    // goes on scanning; before handing over the next one, wait until the
    // last has been applied (the main queue runs its blocks in order), so an
    // update never holds more than one update clock's worth of output.
    if (updateInFlight_->load(std::memory_order_acquire)) main->sync([] {});

    auto update = std::make_shared<PendingUpdate>();
    update->context = context_->copy();
    const RellumGrid* grid = activeGrid();
    update->location = grid->cursorLocation();
    update->rect = calculateCursorRect();
    update->coord = {int64_t(grid->cursorX()), int64_t(grid->cursorY())};
    update->edits.swap(editBlocks_);
    editBlocks_.swap(spareEdits_);
    for (Edit& edit : update->edits) {
        edit.text.settle();
        unitsSinceTrim_ += edit.text.string.size();
    }
    std::swap(update->renditions, renditions_);
    update->fontSets.swap(fontSets_);
    renditionGeneration_ = 0;
    recentRenditions_.fill(0);
    ++sgrMemoEpoch_;
    renditionCompactAt_ = kRenditionCompactMin;
    publishState();
    uiUpdateScheduled_ = false;

    std::shared_ptr<RellumTerminalDelegate> d = delegate();
    if (d) d->terminalDidBeginUpdateUI(*this);
    updateInFlight_->store(true, std::memory_order_release);
    std::weak_ptr<RellumTerminal> weak = weak_from_this();
    main->async([weak, update, inFlight = updateInFlight_] {
        if (std::shared_ptr<RellumTerminal> t = weak.lock()) {
            t->applyUpdate(*update);
            // Back to the render queue: the edits' buffers serve later
            // updates, and the delegate hears of the end there as before.
            t->renderQueue_->async([weak, update] {
                if (std::shared_ptr<RellumTerminal> t = weak.lock()) t->endUpdate(*update);
            });
        }
        inFlight->store(false, std::memory_order_release);
    });
}

void RellumTerminal::applyUpdate(PendingUpdate& update) {
    if (update.renditions.size() <= kRecordedRenditions) updateRecords_.resize(update.renditions.size() * 8);
    if (!update.edits.empty()) {
        RellumTextStorage* primary = primaryTextStorage_.get();
        RellumTextStorage* alternate = alternateTextStorage_.get();
        primary->beginEditing();
        alternate->beginEditing();
        for (Edit& edit : update.edits) {
            if (edit.block) {
                edit.block();
                continue;
            }
            applyEdit(update, edit);
        }
        alternate->endEditing();
        primary->endEditing();
    }
    updateRecords_.clear();
    if (screenController_)
        screenController_->updateContext(std::move(update.context), update.location, update.rect,
                                         update.coord);
}

void RellumTerminal::applyEdit(const PendingUpdate& update, Edit& edit) {
    const std::vector<PendingRun>& runs = edit.text.runs;
    uint32_t number = UINT32_MAX;
    std::shared_ptr<const RellumAttributes> record;
    auto attributedRuns = [&](std::size_t from, std::size_t to, uint64_t origin) {
        applyText_.runs.clear();
        for (std::size_t i = from; i < to; ++i) {
            if ((runs[i].rendition & 7) == kKeepRole) {
                // The attributes the storage holds there now, run by run.
                uint64_t old = edit.range.location + (runs[i].rendition >> 3);
                uint64_t at = runs[i].range.location - origin;
                uint64_t left = runs[i].range.length;
                while (left > 0) {
                    RellumRange stored;
                    std::shared_ptr<const RellumAttributes> kept =
                        edit.storage->attributesAtIndex(old, &stored);
                    const uint64_t take = kept ? std::min(left, stored.end() - old) : left;
                    applyText_.runs.push_back({{at, take}, std::move(kept)});
                    at += take;
                    old += take;
                    left -= take;
                }
                continue;
            }
            if (runs[i].rendition != number) {
                number = runs[i].rendition;
                record = recordOf(update, number);
            }
            applyText_.runs.push_back({{runs[i].range.location - origin, runs[i].range.length}, record});
        }
    };
    if (runs.size() <= kApplyPieceRuns || edit.keeps) {
        // The edit's text is lent to the attributed text the storage takes.
        applyText_.string.swap(edit.text.string);
        attributedRuns(0, runs.size(), 0);
        edit.storage->replaceCharactersInRange(edit.range, std::move(applyText_));
        applyText_.string.swap(edit.text.string);
    } else {
        // A long edit (the output of a whole update at the end) goes in
        // pieces: the first replaces the range, the others follow it, so the
        // records it needs at once stay few.
        uint64_t at = 0;
        for (std::size_t from = 0; from < runs.size(); from += kApplyPieceRuns) {
            const std::size_t to = std::min(runs.size(), from + kApplyPieceRuns);
            const uint64_t end = to == runs.size() ? edit.text.string.size() : runs[to].range.location;
            applyText_.string.assign(edit.text.string, at, end - at);
            attributedRuns(from, to, at);
            edit.storage->replaceCharactersInRange(
                {edit.range.location + at, from == 0 ? edit.range.length : 0}, std::move(applyText_));
            at = end;
        }
        applyText_.string.clear();
        applyText_.string.shrink_to_fit();
    }
    applyText_.runs.clear();
}

void RellumTerminal::endUpdate(PendingUpdate& update) {
    // Edits with buffers of a common size serve later ones, so the text of
    // the next update grows into buffers that exist already.
    for (Edit& edit : update.edits) {
        if (edit.block) continue;
        keepLargest(spareLongTexts_, edit.text.string, kPooledTextLimit);
        keepLargest(spareLongRuns_, edit.text.runs, kPooledRunLimit);
        if (editPool_.size() >= kEditPoolSize || edit.text.string.capacity() > kPooledTextLimit ||
            edit.text.runs.capacity() > kPooledRunLimit)
            continue;
        edit.text.string.clear();
        edit.text.runs.clear();
        editPool_.push_back(std::move(edit));
    }
    update.edits.clear();
    if (spareEdits_.capacity() < update.edits.capacity()) spareEdits_ = std::move(update.edits);
    update.renditions.release(spareRenditionChunks_, kSpareRenditionChunks);
    if (std::shared_ptr<RellumTerminalDelegate> d = delegate()) d->terminalDidEndUpdateUI(*this);
    // A burst of output leaves the heap full of the free room its updates
    // used; once it is over and the terminal has been quiet for a moment,
    // that room goes back (not at once: output that resumes would have to
    // take it from the system again).
    // A trim already waiting starts its quiet second again from here: one
    // that found output resumed would otherwise never come back.
    if (!uiUpdateScheduled_ && unitsSinceTrim_ > kTrimAfterUnits) {
        scheduledTrim_.cancel();
        std::weak_ptr<RellumTerminal> weak = weak_from_this();
        const uint64_t scanned = chunksScanned_;
        scheduledTrim_ = renderQueue_->asyncAfter(kTrimAfterQuiet, [weak, scanned] {
            std::shared_ptr<RellumTerminal> t = weak.lock();
            if (!t) return;
            t->scheduledTrim_ = DelayedWork();
            if (t->chunksScanned_ != scanned || t->uiUpdateScheduled_) return; // output resumed: later
            t->unitsSinceTrim_ = 0;
            t->spareLongTexts_.clear();
            t->spareLongRuns_.clear();
            t->freeScannedChunks(); // the producer has gone quiet too
#ifdef __GLIBC__
            malloc_trim(0);
#endif
        });
    }
}

RellumTerminal::RenditionEntry& RellumTerminal::RenditionTable::next(Spares& spares) {
    if (size_ % kChunk == 0 && size_ / kChunk == chunks_.size()) {
        if (spares.empty()) {
            chunks_.push_back(std::make_unique<Chunk>());
        } else {
            chunks_.push_back(std::move(spares.back()));
            spares.pop_back();
        }
    }
    return (*chunks_[size_ / kChunk])[size_ % kChunk];
}

void RellumTerminal::RenditionTable::release(Spares& spares, std::size_t limit) {
    for (auto& chunk : chunks_)
        if (spares.size() < limit) spares.push_back(std::move(chunk));
    chunks_.clear();
    size_ = 0;
}

void RellumTerminal::takeRendition() {
    renditionGeneration_ = context_->renditionGeneration();
    const std::shared_ptr<const RellumFontSet>& fonts = context_->fontSet();
    if (fontSets_.empty() || fontSets_.back() != fonts) fontSets_.push_back(fonts);
    const uint32_t fontIndex = uint32_t(fontSets_.size() - 1);
    // Written straight into the table's next place, which counts only when
    // no recent entry is the same.
    RenditionEntry& entry = renditions_.next(spareRenditionChunks_);
    context_->copyRenditionInto(entry.rendition);
    entry.fonts = fontIndex;
    if (recentThrift_.resting()) {
        renditionIndex_ = renditions_.commit();
        return;
    }
    uint32_t& recent =
        recentRenditions_[RellumHashRendition(entry.rendition, fonts.get()) % recentRenditions_.size()];
    if (recent != 0) {
        const RenditionEntry& known = renditions_[recent - 1];
        if (known.fonts == fontIndex && known.rendition == entry.rendition) {
            renditionIndex_ = recent - 1;
            recentThrift_.hit();
            return;
        }
    }
    recentThrift_.miss();
    renditionIndex_ = renditions_.commit();
    recent = renditionIndex_ + 1;
}

void RellumTerminal::compactRenditions() {
    // A colourful page redrawn again and again names a new rendition for
    // nearly every write, and most are written over before the update goes
    // out: the few still named move to a fresh table, so the table stays
    // small (and in cache) however much one update scans.
    renditionRemap_.assign(renditions_.size(), UINT32_MAX);
    RenditionTable kept;
    auto remap = [&](uint32_t& number) {
        if ((number & 7) == kKeepRole) return;
        uint32_t& to = renditionRemap_[number >> 3];
        if (to == UINT32_MAX) {
            kept.next(spareRenditionChunks_) = renditions_[number >> 3];
            to = kept.commit();
        }
        number = to << 3 | (number & 7);
    };
    for (LineShadow& shadow : shadows_)
        for (uint32_t& code : shadow.codes)
            remap(code);
    for (Edit& edit : editBlocks_)
        for (PendingRun& run : edit.text.runs)
            remap(run.rendition);
    if (renditionGeneration_ != 0) {
        uint32_t number = renditionIndex_ << 3;
        remap(number);
        renditionIndex_ = number >> 3;
    }
    for (uint32_t& recent : recentRenditions_) {
        if (recent == 0) continue;
        const uint32_t to = renditionRemap_[recent - 1];
        recent = to == UINT32_MAX ? 0 : to + 1;
    }
    ++sgrMemoEpoch_;
    renditions_.release(spareRenditionChunks_, kSpareRenditionChunks);
    renditions_ = std::move(kept);
    renditionCompactAt_ = std::max(kRenditionCompactMin, 2 * renditions_.size());
}

void RellumTerminal::appendEditBlock(std::function<void()> block) {
    flushShadows();
    Edit edit;
    edit.block = std::move(block);
    editBlocks_.push_back(std::move(edit));
    scheduleUpdate(0);
}

RellumTerminal::Edit& RellumTerminal::pushEdit(RellumTextStorage* storage, RellumRange range) {
    if (editPool_.empty()) {
        editBlocks_.emplace_back();
    } else {
        editBlocks_.push_back(std::move(editPool_.back()));
        editPool_.pop_back();
    }
    Edit& edit = editBlocks_.back();
    edit.storage = storage;
    edit.range = range;
    edit.keeps = false;
    scheduleUpdate(0);
    return edit;
}

namespace {

using PendingRun = RellumPendingRun;

// Appends a run, joining it to the last one when they share a rendition and meet.
void appendMovedRun(std::vector<PendingRun>& runs, uint64_t location, uint64_t length, uint32_t rendition) {
    if (length == 0) return;
    if (!runs.empty() && runs.back().rendition == rendition && runs.back().range.end() == location) {
        runs.back().range.length += length;
        return;
    }
    runs.push_back({{uint32_t(location), uint32_t(length)}, rendition});
}

// dst's text [at, at + length) replaced by text, whose runs are measured
// from the start of text; dst's runs keep covering its text.
void spliceAttributed(RellumPendingText& dst, uint64_t at, uint64_t length, std::u16string_view text,
                      std::span<const PendingRun> runs) {
    std::vector<PendingRun>& out = dst.runs;
    if (at == 0 && text.empty() && length > 0 && length < dst.size()) {
        // Text leaving the front: its units and runs die where they are.
        const uint64_t cut = dst.dead + length;
        std::size_t k = dst.deadRuns;
        while (k < out.size() && out[k].range.end() <= cut)
            ++k;
        if (k < out.size() && out[k].range.location < cut) {
            out[k].range.length = uint32_t(out[k].range.end() - cut);
            out[k].range.location = uint32_t(cut);
        }
        dst.deadRuns = uint32_t(k);
        dst.dead = uint32_t(cut);
        if (dst.dead > dst.size()) dst.settle();
        return;
    }
    // A change at the front has no dead neighbours to join.
    if (at == 0) dst.settle();
    at += dst.dead;
    if (at == dst.string.size() && length == 0) {
        for (const PendingRun& r : runs)
            appendMovedRun(out, r.range.location + at, r.range.length, r.rendition);
        dst.string.append(text);
        return;
    }
    const uint64_t cut = at + length;
    const int64_t shift = int64_t(text.size()) - int64_t(length);
    // Runs [i, j) meet the change; those before stay as they are, those
    // after only move by the change in length.
    std::size_t i =
        std::size_t(std::partition_point(out.begin(), out.end(),
                                         [at](const PendingRun& r) { return r.range.end() <= at; }) -
                    out.begin());
    std::size_t j =
        std::size_t(std::partition_point(out.begin() + int64_t(i), out.end(),
                                         [cut](const PendingRun& r) { return r.range.location < cut; }) -
                    out.begin());
    thread_local std::vector<PendingRun> middle;
    middle.clear();
    if (i < j && out[i].range.location < at)
        appendMovedRun(middle, out[i].range.location, at - out[i].range.location, out[i].rendition);
    for (const PendingRun& r : runs)
        appendMovedRun(middle, r.range.location + at, r.range.length, r.rendition);
    if (i < j && out[j - 1].range.end() > cut)
        appendMovedRun(middle, uint64_t(int64_t(cut) + shift), out[j - 1].range.end() - cut,
                       out[j - 1].rendition);
    if (shift != 0)
        for (std::size_t k = j; k < out.size(); ++k)
            out[k].range.location = uint32_t(int64_t(out[k].range.location) + shift);
    // Join equal neighbours.
    const std::size_t firstLive = dst.deadRuns;
    if (!middle.empty() && i > firstLive && out[i - 1].rendition == middle.front().rendition) {
        middle.front().range.location = out[i - 1].range.location;
        middle.front().range.length += out[i - 1].range.length;
        --i;
    }
    if (!middle.empty() && j < out.size() && out[j].rendition == middle.back().rendition) {
        middle.back().range.length += out[j].range.length;
        ++j;
    } else if (middle.empty() && i > firstLive && j < out.size() &&
               out[i - 1].rendition == out[j].rendition) {
        out[i - 1].range.length += out[j].range.length;
        ++j;
    }
    // One move of the runs after the change at most.
    const std::size_t common = std::min(j - i, middle.size());
    std::copy(middle.begin(), middle.begin() + int64_t(common), out.begin() + int64_t(i));
    if (middle.size() > common)
        out.insert(out.begin() + int64_t(i + common), middle.begin() + int64_t(common), middle.end());
    else
        out.erase(out.begin() + int64_t(i + common), out.begin() + int64_t(j));
    middle.clear();
    if (shift == 0)
        std::copy(text.begin(), text.end(), dst.string.begin() + int64_t(at));
    else
        dst.string.replace(at, length, text);
}

} // namespace

void RellumPendingText::settle() {
    if (dead == 0 && deadRuns == 0) return;
    string.erase(0, dead);
    runs.erase(runs.begin(), runs.begin() + deadRuns);
    for (PendingRun& run : runs)
        run.range.location -= dead;
    dead = deadRuns = 0;
}

bool RellumTerminal::mergeEdit(Edit& into, RellumTextStorage* storage, RellumRange range,
                               std::u16string_view text, std::span<const PendingRun> runs) {
    if (into.block || into.keeps || into.storage != storage) return false;
    const uint64_t written = into.text.size();
    if (range.location < into.range.location) {
        // A change that starts before the text this edit writes and ends in
        // it (a line leaving the top of a region, right above lines inserted
        // there): the edit takes in the characters before its range too. A
        // deletion kills units in place, however long the text after it.
        if (range.end() < into.range.location || range.end() > into.range.location + written) return false;
        const uint64_t inside = range.end() - into.range.location;
        if ((written - inside > kMergeTailLimit && !text.empty()) ||
            into.text.string.size() + text.size() > kMaxPendingUnits)
            return false;
        into.range.length += into.range.location - range.location;
        into.range.location = range.location;
        spliceAttributed(into.text, 0, inside, text, runs);
        return true;
    }
    if (range.location > into.range.location + written) return false;
    // The change starts inside (or right after) the text this edit writes: one
    // replacement does both, when the text after the change is short enough
    // to move or nothing moves (a deletion at the front, such as the oldest
    // line leaving a full scrollback once this edit wrote it, kills units in
    // place); else a change at the start of a long edit would cost the whole
    // edit each time.
    const uint64_t at = range.location - into.range.location;
    if (written - at > kMergeTailLimit && !(at == 0 && text.empty())) return false;
    if (into.text.string.size() + text.size() > kMaxPendingUnits) return false;
    const uint64_t inside = std::min(range.length, written - at);
    into.range.length += range.length - inside;
    spliceAttributed(into.text, at, inside, text, runs);
    return true;
}

bool RellumTerminal::mergeIntoPendingEdit(RellumTextStorage* storage, RellumRange range,
                                          std::u16string_view text, std::span<const PendingRun> runs) {
    // A change wholly before an edit's range commutes with it, so it may join
    // an edit before that one (a cursor moved up the page, the oldest lines
    // leaving the scrollback while new lines are written at the end); the
    // edits it passed then move by its change in length.
    const std::size_t merged = findPendingEdit(
        storage, range, [&](Edit& edit) { return mergeEdit(edit, storage, range, text, runs); });
    if (merged == SIZE_MAX) return false;
    moveEditsAfter(merged, storage, int64_t(text.size()) - int64_t(range.length));
    return true;
}

template <typename Take>
std::size_t RellumTerminal::findPendingEdit(RellumTextStorage* storage, RellumRange range, Take take) {
    std::size_t k = editBlocks_.size();
    for (std::size_t tried = 0; k > 0 && tried < kMergeLookBack; ++tried, --k) {
        Edit& edit = editBlocks_[k - 1];
        if (edit.block) return SIZE_MAX;
        if (edit.storage != storage) continue;
        if (take(edit)) return k - 1;
        if (range.end() > edit.range.location) return SIZE_MAX;
    }
    return SIZE_MAX;
}

void RellumTerminal::moveEditsAfter(std::size_t index, RellumTextStorage* storage, int64_t delta) {
    if (delta == 0) return;
    for (std::size_t j = index + 1; j < editBlocks_.size(); ++j)
        if (editBlocks_[j].storage == storage)
            editBlocks_[j].range.location = uint64_t(int64_t(editBlocks_[j].range.location) + delta);
}

void RellumTerminal::appendEdit(RellumTextStorage* storage, RellumRange range, PendingText&& text) {
    flushShadows();
    if (mergeIntoPendingEdit(storage, range, text.string, text.runs)) return;
    const bool deletion = text.string.empty();
    pushEdit(storage, range).text = std::move(text);
    if (deletion) sinkLastDeletion();
}

void RellumTerminal::sinkLastDeletion() {
    const std::size_t last = editBlocks_.size() - 1;
    const Edit& deletion = editBlocks_[last];
    std::size_t k = last;
    for (std::size_t tried = 0; k > 0 && tried < kMergeLookBack; ++tried, --k) {
        const Edit& edit = editBlocks_[k - 1];
        if (edit.block || (edit.storage == deletion.storage && deletion.range.end() > edit.range.location))
            break;
    }
    if (k == last) return;
    for (std::size_t j = k; j < last; ++j)
        if (editBlocks_[j].storage == deletion.storage)
            editBlocks_[j].range.location -= deletion.range.length;
    std::rotate(editBlocks_.begin() + int64_t(k), editBlocks_.begin() + int64_t(last), editBlocks_.end());
}

// ---- Grid delegate ----

namespace {

bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char32_t codePointAt(std::u16string_view s, std::size_t i, std::size_t* length) {
    const char32_t c = s[i];
    *length = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && isLowSurrogate(s[i + 1])) {
        *length = 2;
        return 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    }
    return c;
}

// A range widened to whole composed character sequences: a base with the
// marks after it, surrogate pairs kept together.
RellumRange composedRange(std::u16string_view s, RellumRange r) {
    uint64_t start = std::min<uint64_t>(r.location, s.size());
    uint64_t end = std::min<uint64_t>(r.end(), s.size());
    std::size_t len = 0;
    while (start > 0 && start < s.size() &&
           (isLowSurrogate(s[start]) || RellumIsMarkCodePoint(codePointAt(s, start, &len))))
        --start;
    while (end < s.size()) {
        if (isLowSurrogate(s[end])) {
            ++end;
            continue;
        }
        if (!RellumIsMarkCodePoint(codePointAt(s, end, &len))) break;
        end += len;
    }
    return {start, end - start};
}

bool hasIndexes(const RellumIndexSet* set) {
    return set && !set->empty();
}

// The one role of every character of a text of n units when it has one:
// Text for plain text, Void for erased cells alone (an erase in line).
std::optional<RellumCellRole> uniformRole(uint64_t n, const RellumIndexSet* wideIndexes,
                                          const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                                          const RellumIndexSet* combiningIndexes) {
    if (hasIndexes(wideIndexes) || hasIndexes(tabIndexes) || hasIndexes(combiningIndexes))
        return std::nullopt;
    if (!hasIndexes(voidIndexes)) return RellumCellRole::Text;
    const auto& ranges = voidIndexes->ranges();
    if (ranges.size() == 1 && ranges[0].location == 0 && ranges[0].length >= n) return RellumCellRole::Void;
    return std::nullopt;
}

} // namespace

void RellumTerminal::computeRoles(std::u16string_view string, const RellumIndexSet* wideIndexes,
                                  const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                                  const RellumIndexSet* combiningIndexes) {
    // Later roles win: wide, then void, then tab (each widened to whole
    // composed sequences), then combining marks.
    const uint64_t n = string.size();
    textRoles_.assign(n, uint8_t(RellumCellRole::Text));
    auto mark = [&](const RellumIndexSet* set, RellumCellRole role, bool widen) {
        if (!hasIndexes(set)) return;
        for (RellumRange r : set->ranges()) {
            if (widen) r = composedRange(string, r);
            const uint64_t end = std::min<uint64_t>(r.end(), n);
            for (uint64_t i = std::min<uint64_t>(r.location, n); i < end; ++i)
                textRoles_[i] = uint8_t(role);
        }
    };
    mark(wideIndexes, RellumCellRole::Wide, true);
    mark(voidIndexes, RellumCellRole::Void, true);
    mark(tabIndexes, RellumCellRole::Tab, true);
    mark(combiningIndexes, RellumCellRole::Combining, false);
}

void RellumTerminal::appendAttributedText(PendingText& out, std::u16string_view string,
                                          const RellumIndexSet* wideIndexes,
                                          const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                                          const RellumIndexSet* combiningIndexes) {
    const uint64_t base = out.string.size();
    const uint64_t n = string.size();
    out.string.append(string);
    if (n == 0) return;
    // A run for each stretch of characters with the same number.
    auto appendRunsOf = [&](auto numberAt) {
        uint64_t start = 0;
        for (uint64_t i = 1; i <= n; ++i) {
            if (i < n && numberAt(i) == numberAt(start)) continue;
            appendMovedRun(out.runs, base + start, i - start, numberAt(start));
            start = i;
        }
    };
    if (heldCodesInUse_) {
        // Held text: each character in the rendition it was written in.
        appendRunsOf([&](uint64_t i) { return heldCodesInUse_[i]; });
        return;
    }
    if (const auto role = uniformRole(n, wideIndexes, voidIndexes, tabIndexes, combiningIndexes)) {
        appendMovedRun(out.runs, base, n, renditionNumber(*role));
        return;
    }
    computeRoles(string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
    const uint32_t text = renditionNumber(RellumCellRole::Text) & ~uint32_t(7);
    appendRunsOf([&](uint64_t i) { return text | textRoles_[i]; });
}

RellumTerminal::LineShadow* RellumTerminal::shadowOf(const RellumLine* line) {
    // A changed line carries its shadow's index + 1.
    const uint32_t mark = line->delegateMark();
    if (mark == 0 || mark > shadows_.size() || shadows_[mark - 1].line != line) return nullptr;
    return &shadows_[mark - 1];
}

void RellumTerminal::shadowChange(RellumGrid& grid, LineShadow* shadow, RellumRange range,
                                  std::u16string_view string, const RellumIndexSet* wideIndexes,
                                  const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                                  const RellumIndexSet* combiningIndexes) {
    const RellumLine* line = grid.changingLine();
    if (!shadow) {
        if (spareShadows_.empty()) {
            shadows_.emplace_back();
        } else {
            shadows_.push_back(std::move(spareShadows_.back()));
            spareShadows_.pop_back();
        }
        shadow = &shadows_.back();
        line->setDelegateMark(uint32_t(shadows_.size()));
        shadow->grid = &grid;
        shadow->line = line;
        shadow->from = shadow->oldEnd = range.location - grid.changingLineOrigin();
        shadow->codes.clear();
        scheduleUpdate(0);
    }
    std::vector<uint32_t>& codes = shadow->codes;
    const uint64_t at = range.location - grid.changingLineOrigin();
    const uint64_t n = string.size();
    const bool wasShifted = codes.size() != shadow->oldEnd - shadow->from;
    // The span grows to take the change in: characters before it are where
    // they were, those after it have moved by the span's change in length.
    if (at < shadow->from) {
        codes.insert(codes.begin(), shadow->from - at, 0u);
        for (uint64_t p = at; p < shadow->from; ++p)
            codes[p - at] = kKeepRole | uint32_t(p << 3);
        shadow->from = at;
    }
    const uint64_t spanEnd = shadow->from + codes.size();
    if (at + range.length > spanEnd) {
        const uint64_t more = at + range.length - spanEnd;
        const std::size_t end = codes.size();
        codes.resize(end + more);
        uint32_t* kept = codes.data() + end;
        for (uint64_t k = 0; k < more; ++k)
            kept[k] = kKeepRole | uint32_t((shadow->oldEnd + k) << 3);
        shadow->oldEnd += more;
    }
    const uint64_t in = at - shadow->from;
    if (n > range.length)
        codes.insert(codes.begin() + int64_t(in + range.length), n - range.length, 0u);
    else if (n < range.length)
        codes.erase(codes.begin() + int64_t(in + n), codes.begin() + int64_t(in + range.length));
    const bool shifted = codes.size() != shadow->oldEnd - shadow->from;
    if (shifted != wasShifted) shiftedShadows_ += shifted ? 1 : -1;
    if (n == 0) return;
    uint32_t* out = codes.data() + in;
    if (heldCodesInUse_) {
        std::copy(heldCodesInUse_, heldCodesInUse_ + n, out);
        return;
    }
    if (const auto role = uniformRole(n, wideIndexes, voidIndexes, tabIndexes, combiningIndexes)) {
        std::fill(out, out + n, renditionNumber(*role));
        return;
    }
    computeRoles(string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
    const uint32_t text = renditionNumber(RellumCellRole::Text) & ~uint32_t(7);
    for (uint64_t i = 0; i < n; ++i)
        out[i] = text | textRoles_[i];
}

void RellumTerminal::releaseShadow(LineShadow& shadow) {
    shadow.line->setDelegateMark(0);
    shadow.codes.clear();
    shadow.line = nullptr;
    if (spareShadows_.size() < 64) spareShadows_.push_back(std::move(shadow));
}

void RellumTerminal::flushShadowsSlow() {
    // Each storage's lines from the top: when a line's edit is applied, the
    // lines above it match the grid again, so its grid origin is its offset
    // in the storage too.
    std::vector<LineShadow> shadows;
    shadows.swap(shadows_);
    shiftedShadows_ = 0;
    std::sort(shadows.begin(), shadows.end(), [](const LineShadow& a, const LineShadow& b) {
        if (a.grid != b.grid) return a.grid < b.grid;
        return a.grid->storageOriginOfLine(*a.line) < b.grid->storageOriginOfLine(*b.line);
    });
    thread_local std::vector<PendingRun> runs;
    for (LineShadow& shadow : shadows) {
        RellumTextStorage* storage = textStorageOfGrid(shadow.grid);
        const RellumElements& cells = shadow.line->elements();
        const std::vector<uint32_t>& codes = shadow.codes;
        // The span's text: its cells alone where cells and characters coincide.
        shadowText_.clear();
        uint64_t textOrigin = 0;
        if (shadow.line->hasUnitCells() && shadow.from + codes.size() <= cells.size()) {
            textOrigin = shadow.from;
            cells.appendString(shadowText_, textOrigin, codes.size(), nullptr, nullptr, nullptr, nullptr,
                               false);
        } else {
            cells.appendString(shadowText_, 0, cells.size(), nullptr, nullptr, nullptr, nullptr, false);
        }
        ORVIK_ASSERT(shadow.from + codes.size() <= textOrigin + shadowText_.size());
        // Characters kept where they were at either end of the span are left
        // out: the edit covers what changed in between.
        const std::size_t n = codes.size();
        const uint64_t from = shadow.from;
        const uint64_t oldLength = shadow.oldEnd - from;
        std::size_t head = 0;
        while (head < n && head < oldLength && codes[head] == (kKeepRole | uint32_t((from + head) << 3)))
            ++head;
        std::size_t tail = 0;
        while (tail < n - head && tail < oldLength - head &&
               codes[n - 1 - tail] == (kKeepRole | uint32_t((shadow.oldEnd - 1 - tail) << 3)))
            ++tail;
        const uint64_t start = from + head;
        const RellumRange range{shadow.grid->storageOriginOfLine(*shadow.line) + start,
                                oldLength - head - tail};
        const std::u16string_view text =
            std::u16string_view(shadowText_).substr(start - textOrigin, n - head - tail);
        if (range.length == 0 && text.empty()) {
            releaseShadow(shadow);
            continue;
        }
        runs.clear();
        bool keeps = false;
        for (std::size_t i = head; i < n - tail;) {
            uint32_t code = codes[i];
            std::size_t j = i + 1;
            if ((code & 7) == kKeepRole) {
                // Kept characters in a row of the old line make one run.
                keeps = true;
                while (j < n - tail && codes[j] == code + uint32_t((j - i) << 3))
                    ++j;
                code -= uint32_t(start << 3); // measured from the edit's start
            } else {
                while (j < n - tail && codes[j] == code)
                    ++j;
            }
            runs.push_back({{uint32_t(i - head), uint32_t(j - i)}, code});
            i = j;
        }
        // The old text may still be in a pending edit: its runs then stand for
        // the kept characters, and the line's edit can join that one.
        if (keeps) {
            if (resolveKeptRuns(storage, range, text, runs)) {
                releaseShadow(shadow);
                continue;
            }
            keeps = std::any_of(runs.begin(), runs.end(),
                                [](const PendingRun& run) { return (run.rendition & 7) == kKeepRole; });
        }
        if (keeps || !mergeIntoPendingEdit(storage, range, text, runs)) {
            Edit& edit = pushEdit(storage, range);
            edit.keeps = keeps;
            edit.text.string.assign(text);
            edit.text.runs.assign(runs.begin(), runs.end());
        }
        releaseShadow(shadow);
    }
    shadows.clear();
    if (shadows_.empty()) shadows_.swap(shadows); // keep the capacity
}

bool RellumTerminal::resolveKeptRuns(RellumTextStorage* storage, RellumRange range, std::u16string_view text,
                                     std::vector<PendingRun>& runs) {
    // The last edit that writes the whole of the range, passing only edits
    // after it (which leave it where it is).
    const std::size_t holder = findPendingEdit(storage, range, [&](const Edit& edit) {
        return range.location >= edit.range.location && range.end() <= edit.range.location + edit.text.size();
    });
    if (holder == SIZE_MAX) return false;
    Edit& edit = editBlocks_[holder];
    edit.text.settle();
    // A line's edit that keeps characters itself can only be replaced whole.
    if (edit.keeps && (edit.range.location != range.location || edit.text.string.size() != range.length))
        return false;
    // Kept characters take the runs the holder writes there (kept ones of its
    // own move with them).
    thread_local std::vector<PendingRun> resolved;
    resolved.clear();
    const std::vector<PendingRun>& source = edit.text.runs;
    const uint64_t base = range.location - edit.range.location;
    for (const PendingRun& run : runs) {
        if ((run.rendition & 7) != kKeepRole) {
            appendMovedRun(resolved, run.range.location, run.range.length, run.rendition);
            continue;
        }
        const uint64_t from = base + (run.rendition >> 3);
        const uint64_t to = from + run.range.length;
        auto it = std::partition_point(source.begin(), source.end(),
                                       [from](const PendingRun& r) { return r.range.end() <= from; });
        for (; it != source.end() && it->range.location < to; ++it) {
            const uint64_t start = std::max<uint64_t>(from, it->range.location);
            const uint64_t end = std::min(to, it->range.end());
            uint32_t rendition = it->rendition;
            if ((rendition & 7) == kKeepRole) rendition += uint32_t((start - it->range.location) << 3);
            appendMovedRun(resolved, run.range.location + (start - from), end - start, rendition);
        }
    }
    if (!edit.keeps) {
        runs.swap(resolved);
        return false;
    }
    // The line's new text replaces the holder's: later edits move by the
    // change in length.
    edit.text.string.assign(text);
    edit.text.runs.assign(resolved.begin(), resolved.end());
    moveEditsAfter(holder, storage, int64_t(text.size()) - int64_t(range.length));
    return true;
}

RellumTerminal::Edit* RellumTerminal::editContinuedAt(RellumTextStorage* storage, RellumRange range,
                                                      uint64_t units) {
    if (editBlocks_.empty()) return nullptr;
    Edit& last = editBlocks_.back();
    if (last.block || last.keeps || last.storage != storage ||
        range.location != last.range.location + last.text.size() ||
        last.text.string.size() + units > kMaxPendingUnits)
        return nullptr;
    // Output at the end grows one long edit: it moves into the buffers the
    // last long edit left, rather than outgrowing buffers of its own time
    // after time (each time copying all of it into memory just mapped).
    const auto full = [&] {
        return last.text.string.size() + units > last.text.string.capacity() ||
               last.text.runs.size() + 2 > last.text.runs.capacity();
    };
    if (last.text.string.size() > kLongTextUnits && full()) {
        // Text that died at the front (output pushing out lines it wrote
        // itself) makes room first.
        if (last.text.dead > last.text.string.size() / 4 || last.text.deadRuns > last.text.runs.size() / 4)
            last.text.settle();
        if (full()) takeLongBuffers(last);
    }
    return &last;
}

void RellumTerminal::takeLongBuffers(Edit& edit) {
    takeLargest(spareLongTexts_, edit.text.string);
    takeLargest(spareLongRuns_, edit.text.runs);
}

bool RellumTerminal::mergeText(RellumTextStorage* storage, RellumRange range, std::u16string_view string,
                               const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                               const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes,
                               bool pushUnmerged) {
    // Text in one rendition (or erased cells alone): merged straight from the
    // grid's string when it can be, without an attributed copy first.
    std::optional<RellumCellRole> uniform;
    if (!string.empty() && !heldCodesInUse_)
        uniform = uniformRole(string.size(), wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
    if (uniform) {
        const PendingRun run{{0, uint32_t(string.size())}, renditionNumber(*uniform)};
        if (mergeIntoPendingEdit(storage, range, string, {&run, 1})) return true;
        if (!pushUnmerged) return false;
        Edit& edit = pushEdit(storage, range);
        edit.text.string.assign(string);
        edit.text.runs.push_back(run);
        return true;
    }
    // Built in a buffer that serves every merge (most merge, or fail and go
    // to a line's shadow).
    PendingText& text = mergeScratch_;
    text.string.clear();
    text.runs.clear();
    appendAttributedText(text, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
    if (mergeIntoPendingEdit(storage, range, text.string, text.runs)) return true;
    if (!pushUnmerged) return false;
    Edit& edit = pushEdit(storage, range);
    edit.text.string.assign(text.string);
    edit.text.runs.assign(text.runs.begin(), text.runs.end());
    return true;
}

void RellumTerminal::appendTextEdit(RellumGrid& grid, RellumRange range, std::u16string_view string,
                                    const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                    const RellumIndexSet* tabIndexes,
                                    const RellumIndexSet* combiningIndexes) {
    RellumTextStorage* storage = textStorageOfGrid(&grid);
    const RellumLine* line = grid.changingLine();
    if (!line) flushShadows();
    // A changed line takes the change (see LineShadow). While no changed
    // line has changed in length (the edits' offsets then still hold), text
    // that continues the last edit's text (output at the end of the page) is
    // written straight into it, a line written whole (an erase, which needs
    // nothing of its old text) becomes an edit at once, and text added at the
    // end of a line joins the edit that wrote the line when there is one (a
    // line scrolled into a region). Anything else in a line makes the line a
    // changed one.
    LineShadow* shadow = !line || shadows_.empty() ? nullptr : shadowOf(line);
    if (!shadow && shiftedShadows_ == 0) {
        if (Edit* last = editContinuedAt(storage, range, string.size())) {
            last->range.length += range.length;
            appendAttributedText(last->text, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
            return;
        }
        const bool wholeLine =
            !line || (range.location == grid.changingLineOrigin() && string.size() == line->characterCount());
        if (wholeLine) {
            mergeText(storage, range, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes, true);
            return;
        }
        if (range.length == 0 &&
            range.location + string.size() == grid.changingLineOrigin() + line->characterCount() &&
            mergeText(storage, range, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes, false))
            return;
    }
    shadowChange(grid, shadow, range, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
}

void RellumTerminal::didReplaceCharactersInRange(RellumGrid& grid, RellumRange range,
                                                 std::u16string_view string,
                                                 const RellumIndexSet* wideIndexes,
                                                 const RellumIndexSet* voidIndexes,
                                                 const RellumIndexSet* tabIndexes,
                                                 const RellumIndexSet* combiningIndexes) {
    appendTextEdit(grid, range, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
}

void RellumTerminal::didInsertString(RellumGrid& grid, std::u16string_view string, uint64_t index,
                                     const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                     const RellumIndexSet* tabIndexes,
                                     const RellumIndexSet* combiningIndexes) {
    appendTextEdit(grid, {index, 0}, string, wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
}

void RellumTerminal::didInsertNewLineAtIndex(RellumGrid& grid, uint64_t index) {
    flushShadows();
    RellumTextStorage* storage = textStorageOfGrid(&grid);
    const uint32_t newline = renditionNumber(RellumCellRole::Newline);
    if (Edit* last = editContinuedAt(storage, {index, 0}, 1)) {
        appendMovedRun(last->text.runs, last->text.string.size(), 1, newline);
        last->text.string.push_back(u'\n');
        return;
    }
    PendingText text;
    text.string.assign(1, u'\n');
    text.runs.push_back({{0, 1}, newline});
    appendEdit(storage, {index, 0}, std::move(text));
}

void RellumTerminal::didDeleteCharactersInRange(RellumGrid& grid, RellumRange range) {
    if (const RellumLine* line = grid.changingLine()) {
        shadowChange(grid, shadows_.empty() ? nullptr : shadowOf(line), range, {}, nullptr, nullptr, nullptr,
                     nullptr);
        return;
    }
    appendEdit(textStorageOfGrid(&grid), range, PendingText());
}

void RellumTerminal::gridWillChangeLines(RellumGrid&) {
    flushShadows();
}
