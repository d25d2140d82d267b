#pragma once

#include "Dispatch/DispatchClock.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/DispatchSemaphore.h"
#include "Foundation/Assert.h"
#include "Rellum/RellumAttributes.h"
#include "Rellum/RellumContext.h"
#include "Rellum/RellumGrid.h"
#include "Rellum/RellumScreenController.h"
#include "Rellum/RellumTerminalDelegate.h"
#include "Rellum/RellumTextStorage.h"
#include "Rellum/RellumWindowSnapshot.h"
#include "Rellum/Scanner/RellumScanner.h"
#include "Rellum/Scanner/RellumScannerDelegate.h"

#include <any>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Text of a pending display update, with runs naming renditions by number
// (see RellumTerminal::Edit). A run is 12 bytes: a colourful update holds
// hundreds of thousands, written into memory just mapped. Its offsets are
// within one edit's text, which never grows past kMaxPendingUnits (an edit
// that would is left and a new one begun), so 32 bits hold them.
struct RellumPendingRun {
    struct Span {
        uint32_t location = 0;
        uint32_t length = 0;
        uint64_t end() const { return uint64_t(location) + length; }
    };
    Span range;
    uint32_t rendition = 0;
};
inline constexpr uint64_t kMaxPendingUnits = uint64_t(1) << 31;
struct RellumPendingText {
    std::u16string string;
    std::vector<RellumPendingRun> runs;
    // Units at the start of `string`, and runs at the start of `runs`, that a
    // deletion took: the text is what follows them, and runs are measured
    // from the start of `string`. Lines leaving the top of a scrolling region,
    // or the oldest lines leaving a full scrollback, then cost no move of the
    // text after them; settle() drops the dead ones once they outnumber the
    // text.
    uint32_t dead = 0;
    uint32_t deadRuns = 0;
    uint64_t size() const { return string.size() - dead; }
    void settle();
};

// One terminal: the state, the byte scanner, the primary and alternate grids,
// one text storage per grid and the screen controller that shows the active
// one.
//
// Host bytes are scanned on a private serial render queue. Every text change
// of a grid becomes part of an edit (a change of the grid's storage): text at
// the end of the last edit joins it at once, other changes within a line
// gather in the line's shadow until something else needs the edits in order.
// Edits are applied on the main thread, in order, in one editing bracket per
// display update, while the render queue scans on.
// Updates are coalesced: the first chunk after an update schedules the next
// one kShortChunkDelay later (a chunk of less than kLongChunkBytes) or
// kLongChunkDelay later (a larger one).
//
// Always owned by a std::shared_ptr (a queued chunk keeps its terminal
// alive until it is scanned; a scheduled update does not). Create it on the
// main thread.
class RellumTerminal : public RellumScannerDelegate,
                       public RellumGridDelegate,
                       public std::enable_shared_from_this<RellumTerminal> {
public:
    static constexpr std::chrono::nanoseconds kShortChunkDelay{33'333'333};
    static constexpr std::chrono::nanoseconds kLongChunkDelay{66'666'666};
    static constexpr std::size_t kLongChunkBytes = 1024;
    // After a burst of output, quiet this long gives its free memory back.
    static constexpr std::chrono::nanoseconds kTrimAfterQuiet{1'000'000'000};
    static constexpr std::ptrdiff_t kRenderSemaphoreCount = 4;
    static constexpr int64_t kMinimumColumns = 20;
    static constexpr int64_t kMinimumRows = 5;
    static constexpr double kInitialAdvance = 7.0;

    using ScreenControllerFactory = std::function<std::unique_ptr<RellumScreenController>(
        RellumTerminal& terminal, RellumTextStorage& storage)>;

    struct Options {
        // The clock of the render queue's delayed updates (tests pass a ManualClock).
        std::shared_ptr<DispatchClock> clock;
        // Makes the screen controller on the primary storage; none (a headless
        // terminal) when empty or when it returns null.
        ScreenControllerFactory screenControllerFactory;
        // The initial font (the owner's resolution of "Menlo" at 12 points); none when null.
        std::shared_ptr<const RellumFont> font;
        // Makes the render queue on the clock; a SerialQueue of its own when
        // empty. A driver that runs everything on one thread (the fuzz
        // target) passes a queue whose blocks it runs itself.
        std::function<std::unique_ptr<DispatchQueue>(std::shared_ptr<DispatchClock> clock)>
            renderQueueFactory;
    };

    // Which screen action a menu item sends.
    enum class ScreenAction { ShowAlternateScreen, HideAlternateScreen };

    explicit RellumTerminal(std::weak_ptr<RellumTerminalDelegate> delegate, Options options = {});
    ~RellumTerminal() override;
    RellumTerminal(const RellumTerminal&) = delete;
    RellumTerminal& operator=(const RellumTerminal&) = delete;

    // Delegate (any thread).
    std::shared_ptr<RellumTerminalDelegate> delegate() const;
    void setDelegate(std::weak_ptr<RellumTerminalDelegate> delegate);

    // Host bytes (any thread). At most kRenderSemaphoreCount chunks from
    // other threads wait for the render queue; a caller beyond that blocks
    // until one is scanned. The main thread never blocks here: its chunks
    // join the queue at once, so a display update waiting for the main
    // thread can never hold it up.
    void renderData(std::string data);
    // Bytes for the host (any thread); empty data is dropped.
    void writeData(std::string_view data);
    // UTF-8 text for the host; malformed sequences become U+FFFD.
    void writeString(std::string_view string);

    // Page size.
    RellumPageSize maxAllowedPageSize();            // main
    void initiateWithPageSize(RellumPageSize size); // main, before any byte is fed
    RellumPageSize pageSize() const;                // any: the last accepted size
    void willChangePageSize(RellumPageSize size);   // main: proposes a different size to the delegate
    void didChangePageSize(RellumPageSize size);    // any: the accepted size, applied on the render queue

    // Grids and storages.
    RellumGrid* activeGrid() const;                                                         // render
    RellumTextStorage* activeTextStorage() const;                                           // main
    RellumTextStorage* textStorageOfGrid(const RellumGrid* grid) const;                     // render
    RellumGrid* primaryGrid() const { return primaryGrid_.get(); }                          // render
    RellumGrid* alternateGrid() const { return alternateGrid_.get(); }                      // render
    RellumTextStorage* primaryTextStorage() const { return primaryTextStorage_.get(); }     // main
    RellumTextStorage* alternateTextStorage() const { return alternateTextStorage_.get(); } // main
    uint64_t cursorX() const;                                                               // render
    uint64_t cursorY() const;                                                               // render

    // From the context.
    std::set<uint64_t> tabStops() const;            // any: as of the last display update or page change
    RellumCellSize cellSize() const;                // any
    std::shared_ptr<const RellumFont> font() const; // any
    // Main: the context takes the font (on the render queue); both storages
    // take it and the cell width through an edit; the screen controller gets
    // the new metrics; then the page size that now fits is proposed.
    void setFont(std::shared_ptr<const RellumFont> font);

    uint64_t maxScrollback() const;        // any
    void setMaxScrollback(uint64_t lines); // any; applied on the render queue

    bool allowsApplicationKeypad() const; // any
    // Any; false also turns application cursor keys off (on the render queue).
    void setAllowsApplicationKeypad(bool allows);

    bool useLeftOptionAsMeta();  // main
    bool useRightOptionAsMeta(); // main

    // Screen actions (main; carried out on the render queue, the storage
    // switch travels as an edit).
    void showAlternateScreen();
    void hideAlternateScreen();
    // As of the last display update.
    bool validateMenuItem(ScreenAction action) const;

    // Render queue: new state on the old font, page size and default
    // colours; new grids on it (no grid keeps the discarded state); both
    // storages cleared through edits; the primary screen shown.
    void fullReset();

    // Default colours (main; applied on the render queue, storage rewrites
    // travel as edits).
    std::optional<RellumColor> defaultBackgroundColor() const;
    void setDefaultBackgroundColor(const RellumColor& color);
    std::optional<RellumColor> defaultTextColor() const;
    void setDefaultTextColor(const RellumColor& color);

    // Accessors.
    RellumScreenController* screenController() const { return screenController_.get(); } // main
    RellumScanner* scanner() const { return scanner_.get(); }                            // render
    RellumContext* context() const { return context_.get(); }                            // render
    DispatchQueue& renderQueue() const { return *renderQueue_; }
    // Render: scanned changes wait for a display update already scheduled.
    bool updateScheduled() const { return uiUpdateScheduled_; }
    std::any representedObject() const;
    void setRepresentedObject(std::any object);
    std::optional<std::string> representedURL() const;
    void setRepresentedURL(std::optional<std::string> url);
    std::optional<std::string> terminalTitle() const;
    void setTerminalTitle(std::optional<std::string> title);

    // Content (main).
    RellumTextStorage* attributedStringOfContent() const;
    // The shown text with void cells as U+00B7 and tab padding as U+2015, in UTF-8.
    std::string stringOfContent() const;
    // One line of stringOfContent: the one at the active grid's line index of y.
    std::optional<std::string> debugDescriptionOfLineAtY(uint64_t y) const;
    // Scanner token type numbers to names.
    static const std::map<uint64_t, std::string>& tokenTags();

    // For the control functions (render queue).
    // Queues a change for the main thread, run in order with the text edits.
    void appendEditBlock(std::function<void()> block);
    // Shows the alternate (true) or primary screen: the context's mode
    // changes now, the screen controller follows through an edit.
    void setAlternateScreenShown(bool shown);
    // The cursor rectangle of the active grid in document coordinates.
    RellumRect calculateCursorRect() const;

    // RellumGridDelegate (render queue).
    void didReplaceCharactersInRange(RellumGrid& grid, RellumRange range, std::u16string_view string,
                                     const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                     const RellumIndexSet* tabIndexes,
                                     const RellumIndexSet* combiningIndexes) override;
    void didInsertString(RellumGrid& grid, std::u16string_view string, uint64_t index,
                         const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                         const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes) override;
    void didInsertNewLineAtIndex(RellumGrid& grid, uint64_t index) override;
    void didDeleteCharactersInRange(RellumGrid& grid, RellumRange range) override;
    void gridWillChangeLines(RellumGrid& grid) override;

    // RellumScannerDelegate (render queue); the control functions.
    void willScanData(RellumScanner& scanner, std::string_view data) override;
    void didScanPartialData(RellumScanner& scanner, std::string_view data, uint64_t type) override;
    bool observesPartialData() const override { return false; }
    void scannerDidScanData(RellumScanner& scanner) override;
    void renderASCIIChars(RellumScanner& scanner, const char* chars, uint64_t length) override;
    void renderMBCSString(RellumScanner& scanner, std::u32string_view string) override;
    void releaseHeldText(RellumScanner& scanner) override;
    bool acceptsTextSegments(RellumScanner& scanner) override;
    void renderTextSegments(RellumScanner& scanner, const RellumTextSegment* segments,
                            std::size_t count) override;
    void scannerRingBell(RellumScanner& scanner) override;
    void scannerBackspace(RellumScanner& scanner) override;
    void scannerNextTabStop(RellumScanner& scanner) override;
    void scannerLineFeed(RellumScanner& scanner) override;
    void scannerCarriageReturn(RellumScanner& scanner) override;
    void setCharset(RellumScanner& scanner, uint64_t charset) override;
    void scannerReverseLineFeed(RellumScanner& scanner) override;
    void scannerSetTabStopAtCursor(RellumScanner& scanner) override;
    void scannerScreenAlignmentPattern(RellumScanner& scanner) override;
    void scannerSaveCursor(RellumScanner& scanner) override;
    void scannerRestoreCursor(RellumScanner& scanner) override;
    void scannerFullReset(RellumScanner& scanner) override;
    void applicationKeypadMode(RellumScanner& scanner, bool enabled) override;
    void designateCharset(RellumScanner& scanner, uint64_t charset, bool drawLine) override;
    void insertSpaceWithCount(RellumScanner& scanner, uint64_t count) override;
    void cursorUpwardWithCount(RellumScanner& scanner, uint64_t count, bool moveToLeftMargin) override;
    void cursorDownwardWithCount(RellumScanner& scanner, uint64_t count, bool moveToLeftMargin) override;
    void cursorForwardWithCount(RellumScanner& scanner, uint64_t count) override;
    void cursorBackwardWithCount(RellumScanner& scanner, uint64_t count) override;
    void cursorMoveToColumn(RellumScanner& scanner, uint64_t column) override;
    void cursorMoveToRow(RellumScanner& scanner, uint64_t row, uint64_t column) override;
    void eraseDisplayWithArea(RellumScanner& scanner, uint64_t area) override;
    void eraseLineWithArea(RellumScanner& scanner, uint64_t area) override;
    void insertLineWithCount(RellumScanner& scanner, uint64_t count) override;
    void deleteLineWithCount(RellumScanner& scanner, uint64_t count) override;
    void deleteCharacterWithCount(RellumScanner& scanner, uint64_t count) override;
    void eraseCharacterWithCount(RellumScanner& scanner, uint64_t count) override;
    void scrollUpWithCount(RellumScanner& scanner, uint64_t count) override;
    void scrollDownWithCount(RellumScanner& scanner, uint64_t count) override;
    void cursorBackwardTabulationWithCount(RellumScanner& scanner, uint64_t count) override;
    void cursorForwardTabulationWithCount(RellumScanner& scanner, uint64_t count) override;
    void scannerRequestPrimaryDeviceAttribute(RellumScanner& scanner) override;
    void scannerRequestSecondaryDeviceAttribute(RellumScanner& scanner) override;
    void cursorMoveToRow(RellumScanner& scanner, uint64_t row) override;
    void scannerClearAllTabStops(RellumScanner& scanner) override;
    void scannerClearTabStopAtCursor(RellumScanner& scanner) override;
    void enableInsertMode(RellumScanner& scanner, bool enabled) override;
    void setPageMarginTop(RellumScanner& scanner, uint64_t top, uint64_t bottom) override;
    void setPageMarginLeft(RellumScanner& scanner, uint64_t left, uint64_t right) override;
    void scannerReportOperatingStatus(RellumScanner& scanner) override;
    void reportCursorPositionWithExtended(RellumScanner& scanner, bool extended) override;
    void scannerSoftReset(RellumScanner& scanner) override;
    void addTextStyleMask(RellumScanner& scanner, uint64_t mask) override;
    void removeTextStyleMask(RellumScanner& scanner, uint64_t mask) override;
    void scannerResetTextStyleAndBGFG(RellumScanner& scanner) override;
    void setBackgroundWithColorIndex(RellumScanner& scanner, uint8_t index) override;
    void setForegroundWithColorIndex(RellumScanner& scanner, uint8_t index) override;
    void setBackgroundColor(RellumScanner& scanner, std::optional<RellumColor> color) override;
    void setForegroundColor(RellumScanner& scanner, std::optional<RellumColor> color) override;
    void applyGraphicRendition(RellumScanner& scanner, const RellumParameterList& list) override;
    void enableApplicationCursorKey(RellumScanner& scanner, bool enabled) override;
    void fixMoreProgram(RellumScanner& scanner, bool enabled) override;
    void enableReverseVideoMode(RellumScanner& scanner, bool enabled) override;
    void enableOriginMode(RellumScanner& scanner, bool enabled) override;
    void enableAutoWrap(RellumScanner& scanner, bool enabled) override;
    void enableAutoRepeat(RellumScanner& scanner, bool enabled) override;
    void showCursor(RellumScanner& scanner, bool visible) override;
    void enableReverseWrapMode(RellumScanner& scanner, bool enabled) override;
    void respectsHorizontalMargin(RellumScanner& scanner, bool respects) override;
    void enableFocusEventsReport(RellumScanner& scanner, bool enabled) override;
    void setMouseReportType(RellumScanner& scanner, uint64_t type) override;
    void setMouseReportProtocol(RellumScanner& scanner, uint64_t protocol) override;
    void scannerShowAlternateScreen(RellumScanner& scanner) override;
    void scannerShowPrimaryScreen(RellumScanner& scanner) override;
    void scannerClearScreen(RellumScanner& scanner) override;
    void enableBracketedPasteMode(RellumScanner& scanner, bool enabled) override;
    void iconifyWindow(RellumScanner& scanner, bool iconify) override;
    void moveWindowToOrigin(RellumScanner& scanner, RellumPoint origin) override;
    void resizeViewToSize(RellumScanner& scanner, RellumSize size) override;
    void raiseWindow(RellumScanner& scanner, bool raise) override;
    void resizePageToRow(RellumScanner& scanner, uint64_t row, uint64_t column) override;
    void scannerReportWindowState(RellumScanner& scanner) override;
    void scannerReportWindowPosition(RellumScanner& scanner) override;
    void scannerReportWindowSize(RellumScanner& scanner) override;
    void scannerReportPageSize(RellumScanner& scanner) override;
    void scannerReportMaxPageSize(RellumScanner& scanner) override;
    void scannerReportTerminalTitle(RellumScanner& scanner, bool iconMode) override;
    void scannerPushTerminalTitle(RellumScanner& scanner) override;
    void scannerPopTerminalTitle(RellumScanner& scanner) override;
    void setTerminalTitle(RellumScanner& scanner, const std::optional<std::string>& title) override;
    void setURLTitle(RellumScanner& scanner, const std::optional<std::string>& url) override;
    uint64_t scannerCursorColumn(RellumScanner& scanner) override;
    uint64_t scannerCursorRow(RellumScanner& scanner) override;
    bool scannerRespectsHorizontalMargin(RellumScanner& scanner) override;

protected:
    // Destroys the view's parts (screen controller, storages) on the main
    // thread, waiting for it when called elsewhere. The destructor does it;
    // a subclass whose members the view's events reach (through the
    // delegate) calls it first in its own destructor. Once only.
    void releaseViewParts();

private:
    // One pending change of a storage: a replacement of a range by
    // attributed text (an insertion replaces nothing, a deletion inserts
    // nothing), or a block for anything else.
    //
    // Runs name their attributes by rendition number: (an index into the
    // update's renditions) * 8 + RellumCellRole. The records are built (or
    // found again) on the main thread, so scanning builds no record, and
    // counts no reference, for each change of colour.
    using PendingRun = RellumPendingRun;
    using PendingText = RellumPendingText;
    struct Edit {
        RellumTextStorage* storage = nullptr;
        RellumRange range;
        PendingText text;
        std::function<void()> block;
        // Some runs keep the attributes the storage holds before the edit
        // (see kKeepRole); such an edit is never merged with another.
        bool keeps = false;
    };
    // The role of a run (or a line's character) whose attributes stay those
    // of the storage's character at (number >> 3) from the start of the
    // edit's range, as it stands before the edit.
    static constexpr uint32_t kKeepRole = 7;
    // A rendition the runs of an update name, with the fonts then in force
    // (an index into the update's fontSets).
    struct RenditionEntry {
        RellumRendition rendition;
        uint32_t fonts = 0;
    };

    // The renditions of an update, in chunks that later updates reuse (a
    // colourful stream adds one for each change of colour: a growing array
    // would move them all, into memory the system must map first).
    class RenditionTable {
    public:
        static constexpr std::size_t kChunk = 1024;
        using Chunk = std::array<RenditionEntry, kChunk>;
        using Spares = std::vector<std::unique_ptr<Chunk>>;
        std::size_t size() const { return size_; }
        const RenditionEntry& operator[](std::size_t i) const {
            ORVIK_ASSERT(i < size_);
            return (*chunks_[i / kChunk])[i % kChunk];
        }
        // The place after the last entry, made ready; commit() counts it and
        // answers its index.
        RenditionEntry& next(Spares& spares);
        uint32_t commit() { return uint32_t(size_++); }
        // Empties the table, keeping up to `limit` chunks in spares.
        void release(Spares& spares, std::size_t limit);

    private:
        std::vector<std::unique_ptr<Chunk>> chunks_;
        std::size_t size_ = 0;
    };

    // What one display update hands to the main thread.
    struct PendingUpdate {
        std::vector<Edit> edits;
        RenditionTable renditions;
        std::vector<std::shared_ptr<const RellumFontSet>> fontSets;
        std::unique_ptr<RellumContext> context;
        uint64_t location = 0;
        RellumRect rect;
        RellumCoord coord;
    };
    void scheduleUpdate(std::size_t chunkLength);
    void flushUpdate();
    void applyUpdate(PendingUpdate& update); // main
    // Applies one edit to its storage, a long one in pieces of this many runs (main).
    void applyEdit(const PendingUpdate& update, Edit& edit);
    static constexpr std::size_t kApplyPieceRuns = 4096;
    void endUpdate(PendingUpdate& update); // render queue, once applied
    void scanChunk(const std::string& data);
    void appendEdit(RellumTextStorage* storage, RellumRange range, PendingText&& text);
    // Moves the last edit, a deletion, before the edits wholly after its
    // range (which it commutes with), so that later deletions there meet the
    // edits that wrote the text: the oldest lines leaving a full scrollback
    // then reach the long edit of the output pushing them out, and die in
    // its text rather than being written to the storage and deleted again.
    void sinkLastDeletion();
    // The number of the rendition in force for cells of a role (render queue).
    uint32_t renditionNumber(RellumCellRole role) {
        if (context_->renditionGeneration() != renditionGeneration_) takeRendition();
        return renditionIndex_ << 3 | uint32_t(role);
    }
    // Gives the context's rendition a number in this update (render queue).
    void takeRendition();
    // Renumbers the renditions still named (by shadows, pending edits and the
    // one in force) into a fresh table; run between chunks, when no caller
    // holds a number.
    void compactRenditions();
    static constexpr std::size_t kRenditionCompactMin = 1024;
    // The record a rendition number of an update stands for (main).
    const std::shared_ptr<const RellumAttributes>& recordOf(const PendingUpdate& update, uint32_t number) {
        // Runs of an update name few numbers many times over (text whose
        // roles change every few characters): each is looked up once.
        if (number < updateRecords_.size() && updateRecords_[number]) return updateRecords_[number];
        const RenditionEntry& entry = update.renditions[number >> 3];
        const std::shared_ptr<const RellumAttributes>& record =
            mainRecords_.record(entry.rendition, update.fontSets[entry.fonts], RellumCellRole(number & 7));
        if (number < updateRecords_.size()) updateRecords_[number] = record;
        return record;
    }
    // The records of an update's numbers, while it is applied (main), for
    // an update of at most this many renditions.
    std::vector<std::shared_ptr<const RellumAttributes>> updateRecords_;
    static constexpr std::size_t kRecordedRenditions = 4096;
    // Runs on the render queue: at once when already there, else posted.
    void performOnRenderQueue(std::function<void(RellumTerminal&)> work);
    void publishState();
    // Copies the context's font and cell size for readers on other threads.
    void publishFont();
    void ensureGrids();
    // The last edit when `units` written at range continue the text it
    // writes (so they can be written straight into it) and it stays within
    // kMaxPendingUnits, else null.
    Edit* editContinuedAt(RellumTextStorage* storage, RellumRange range, uint64_t units);
    // Appends a grid's text with the attributes in force (the cell-span,
    // void, tab and combining marks at the given positions) to out.
    void appendAttributedText(PendingText& out, std::u16string_view string, const RellumIndexSet* wideIndexes,
                              const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                              const RellumIndexSet* combiningIndexes);
    // Merges a grid's text change into a pending edit when one can take it,
    // else pushes it as a new edit when pushUnmerged; true when either happened.
    bool mergeText(RellumTextStorage* storage, RellumRange range, std::u16string_view string,
                   const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                   const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes,
                   bool pushUnmerged);
    void appendTextEdit(RellumGrid& grid, RellumRange range, std::u16string_view string,
                        const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                        const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes);
    // A change merges into an edit only when at most this much of the
    // edit's text follows it.
    static constexpr uint64_t kMergeTailLimit = 8192;
    // How many pending edits, from the last, a change may try to join: a
    // page of up to this many rows redrawn row by row (an editor, a full-
    // screen tool) then keeps one edit a row instead of one a row a redraw.
    static constexpr std::size_t kMergeLookBack = 128;
    static bool mergeEdit(Edit& into, RellumTextStorage* storage, RellumRange range, std::u16string_view text,
                          std::span<const PendingRun> runs);
    // Merges a change into one of the last pending edits when it can take
    // it (see mergeEdit).
    bool mergeIntoPendingEdit(RellumTextStorage* storage, RellumRange range, std::u16string_view text,
                              std::span<const PendingRun> runs);
    // The index of the last pending edit (of the last kMergeLookBack) that
    // take accepts, passing only edits of the storage that lie after the
    // range; SIZE_MAX when there is none.
    template <typename Take>
    std::size_t findPendingEdit(RellumTextStorage* storage, RellumRange range, Take take);
    // The storage's edits after index move by delta (a change in length of the one at index).
    void moveEditsAfter(std::size_t index, RellumTextStorage* storage, int64_t delta);

    // A line changed since the last edit was made: for the span of its text
    // that changed, one number a UTF-16 unit, a rendition number or
    // kKeepRole with the unit's offset in the line as the storage has it
    // (the text before the span is where it was; the span ends at oldEnd in
    // the storage's line). Changes within lines only change these;
    // before anything else reaches the edits (a line added or removed, a
    // block, the update itself), each becomes one edit of its span.
    // A page redrawn a thousand times in one update so costs one edit a
    // line, whatever the order of the writes.
    struct LineShadow {
        RellumGrid* grid = nullptr;
        const RellumLine* line = nullptr;
        uint64_t from = 0;
        uint64_t oldEnd = 0;
        std::vector<uint32_t> codes; // from `from` on
    };
    LineShadow* shadowOf(const RellumLine* line);
    // A change of the grid's changing line, in its shadow (a new one when null).
    void shadowChange(RellumGrid& grid, LineShadow* shadow, RellumRange range, std::u16string_view string,
                      const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                      const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes);
    // Turns every changed line into an edit (render queue).
    void flushShadows() {
        if (!shadows_.empty()) flushShadowsSlow();
    }
    void flushShadowsSlow();
    // When a pending edit wrote the whole of a line's old text (range), the
    // kept runs of the line's new text take that edit's runs. Returns true
    // when the new text then replaced that edit's text (a line's edit that
    // keeps characters itself); false when runs may still need an edit.
    bool resolveKeptRuns(RellumTextStorage* storage, RellumRange range, std::u16string_view text,
                         std::vector<PendingRun>& runs);
    void releaseShadow(LineShadow& shadow);
    // textRoles_ for a grid's text that is not all plain (see appendAttributedText).
    void computeRoles(std::u16string_view string, const RellumIndexSet* wideIndexes,
                      const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                      const RellumIndexSet* combiningIndexes);
    std::vector<LineShadow> shadows_;
    std::vector<LineShadow> spareShadows_;
    std::size_t shiftedShadows_ = 0; // shadows whose line's length differs from the storage's
    std::u16string shadowText_;      // reused for a changed line's text

    // Owned by the main thread.
    std::unique_ptr<RellumScreenController> screenController_;
    std::unique_ptr<RellumTextStorage> primaryTextStorage_;
    std::unique_ptr<RellumTextStorage> alternateTextStorage_;

    // Owned by the render queue.
    std::unique_ptr<RellumContext> context_;
    std::unique_ptr<RellumScanner> scanner_;
    std::unique_ptr<RellumGrid> primaryGrid_;
    std::unique_ptr<RellumGrid> alternateGrid_;
    std::vector<Edit> editBlocks_;
    std::vector<Edit> spareEdits_;
    // Applied edits kept with their buffers for the next ones.
    std::vector<Edit> editPool_;
    static constexpr std::size_t kEditPoolSize = 32;
    static constexpr std::size_t kPooledTextLimit = 16384;
    // The buffers of the longest edits of the last updates, for the next
    // long ones (an edit longer than kLongTextUnits takes the largest when
    // its own is full). Output that fills a full scrollback within one update
    // writes a long edit for each scrollback's worth: each finds a buffer.
    std::vector<std::u16string> spareLongTexts_;
    std::vector<std::vector<PendingRun>> spareLongRuns_;
    void takeLongBuffers(Edit& edit);
    static constexpr std::size_t kLongTextUnits = 4096;
    // A new pending edit (from the pool when it has one), update scheduled.
    Edit& pushEdit(RellumTextStorage* storage, RellumRange range);
    bool uiUpdateScheduled_ = false;
    // The renditions the pending edits name, and the last one's context
    // generation (0: none yet in this update). Recent renditions by hash, so
    // a host switching among a few colours adds an entry for each only once
    // (the lookup rests while it seldom finds one).
    RenditionTable renditions_;
    RenditionTable::Spares spareRenditionChunks_;
    static constexpr std::size_t kSpareRenditionChunks = 8;
    std::vector<std::shared_ptr<const RellumFontSet>> fontSets_;
    uint64_t renditionGeneration_ = 0;
    uint32_t renditionIndex_ = 0;
    std::array<uint32_t, 64> recentRenditions_{}; // index + 1; 0 empty
    // Whether a memo earns its lookups: a host that seldom repeats itself
    // (random colours) would pay for them and never gain, so after many more
    // misses than hits the memo rests for a while, then tries again, giving
    // up sooner unless it finds repeats.
    struct MemoThrift {
        static constexpr int kScoreMax = 64, kRest = 1024, kRetry = 16;
        int score = 0; // hits less misses, within the bounds
        int rest = 0;  // uses left before the memo is tried again
        // True while the memo rests; counts a use.
        bool resting() {
            if (rest == 0) return false;
            --rest;
            return true;
        }
        void hit() {
            if (score < kScoreMax) ++score;
        }
        void miss() {
            if (--score >= -kScoreMax) return;
            score = kRetry - kScoreMax;
            rest = kRest;
        }
    };
    MemoThrift recentThrift_;
    // What a plain graphic rendition made of the numbered rendition in force:
    // hosts repeat a few colour changes again and again, and a repeat is then
    // one lookup. Slots of an older epoch (before the table of numbers was
    // handed to an update or renumbered) are empty.
    static constexpr std::size_t kSGRMemoValues = 6;
    struct SGRMemo {
        uint64_t epoch = 0;
        uint32_t from = 0, to = 0;
        std::array<uint32_t, kSGRMemoValues> values{}; // the parameters, padded with zeros
        uint32_t count = 0;
    };
    std::array<SGRMemo, 256> sgrMemo_{};
    uint64_t sgrMemoEpoch_ = 1;
    MemoThrift sgrMemoThrift_;
    std::size_t renditionCompactAt_ = kRenditionCompactMin;
    std::vector<uint32_t> renditionRemap_;
    // Text handed over since the allocator last gave free memory back; a burst
    // of more than this does so once shown and followed by this much quiet.
    uint64_t unitsSinceTrim_ = 0;
    static constexpr uint64_t kTrimAfterUnits = 1 << 20;
    uint64_t chunksScanned_ = 0;
    DelayedWork scheduledTrim_; // set while a trim waits
    // Owned by the main thread: the records the rendition numbers stand for.
    RellumRenditionRecords mainRecords_;
    RellumAttributedString applyText_; // reused to hand each edit's text to its storage
    // Set while an update waits for or runs on the main thread (shared, as
    // the main thread's block may outlive this object).
    std::shared_ptr<std::atomic<bool>> updateInFlight_ = std::make_shared<std::atomic<bool>>(false);
    DelayedWork scheduledUpdate_;
    // Reused cells of the text runs.
    RellumElements runElements_;
    // Text held back (see releaseHeldText): the bytes of one line from the
    // cursor on, each with the rendition number it was written in; all of
    // them fit before the line's right margin. The buffers keep the line's
    // room between holds, so holding a word is two copies.
    std::vector<char> heldText_;
    std::vector<uint32_t> heldCodes_;
    uint64_t heldLength_ = 0;
    uint64_t heldRoom_ = 0;
    // The last scanner token wrote ASCII text (graphic renditions aside).
    bool textJustWritten_ = false;
    // While held text is written: its numbers, in place of the one in force.
    const uint32_t* heldCodesInUse_ = nullptr;
    PendingText mergeScratch_;
    // Holds text when it may wait (after text on the same line, with only
    // graphic renditions between); false when it must be written now.
    bool holdText(const char* chars, uint64_t length);
    // The cells of a mixed text run, written to the grid at once, and the
    // cell count after each of its pieces (false where a later mark changed
    // the piece's last cell).
    RellumElements segmentElements_;
    struct SegmentEnd {
        std::size_t cells;
        bool cuttable;
    };
    std::vector<SegmentEnd> segmentEnds_;
    // The joined part of segmentElements_ when not all of it can go at once.
    RellumElements segmentHead_;
    // Reused per-character roles while text becomes attributed text.
    std::vector<uint8_t> textRoles_;
    // The font last given to setFont, before the context derived its variants.
    std::shared_ptr<const RellumFont> baseFont_;
    // The storage shown (main thread), for a terminal without a screen controller too.
    RellumTextStorage* shownStorage_ = nullptr;

    // Shared, under stateMutex_.
    mutable std::mutex stateMutex_;
    std::weak_ptr<RellumTerminalDelegate> delegate_;
    RellumPageSize acceptedPageSize_;
    std::set<uint64_t> publishedTabStops_;
    std::shared_ptr<const RellumFont> publishedFont_;
    RellumCellSize publishedCellSize_;
    bool publishedAlternateScreen_ = false;
    uint64_t publishedScrollbackLines_ = 0;
    bool maxScrollbackSet_ = false;
    std::optional<RellumColor> defaultBackgroundColor_, defaultTextColor_;
    std::any representedObject_;
    std::optional<std::string> representedURL_;
    std::optional<std::string> terminalTitle_;
    std::atomic<uint64_t> maxScrollback_{0};
    std::atomic<bool> allowsApplicationKeypad_{true};

    // A writer held back spins a little first: when output floods, the render
    // queue hands a permit back every few tens of microseconds, and waking a
    // sleeping writer each time (a system call a chunk) slows the scan by a
    // tenth at 4 KiB chunks.
    static constexpr std::chrono::microseconds kRenderSemaphoreSpin{60};
    DispatchSemaphore renderSemaphore_{kRenderSemaphoreCount, kRenderSemaphoreSpin};
    // Chunks a producing thread handed over, once scanned; that thread frees
    // them at its next renderData. Freed on the render queue, each would go
    // back to the producer's heap arena under a lock the producer is taking
    // for the next chunk at the same moment.
    std::mutex scannedChunksMutex_;
    std::vector<std::string> scannedChunks_;
    // Frees the scanned chunks on the calling thread.
    void freeScannedChunks();
    // Last: destroyed first, so no block runs while the rest goes.
    std::unique_ptr<DispatchQueue> renderQueue_;

public:
    // Control-function state (render queue). Members the control functions
    // need are added below this line.
    // Bells closer together than this after an accepted one are dropped.
    static constexpr double kBellInterval = 0.15;
    // Titles kept by the title stack; a push beyond it drops the oldest.
    static constexpr std::size_t kTitleStackLimit = 10;
    // The largest page the host may ask for when the view has not published
    // its own limit (a window filling a large screen at a small font).
    static constexpr int64_t kHostPageColumnsLimit = 1000;
    static constexpr int64_t kHostPageRowsLimit = 500;

    // The window state the view publishes for the window reports (any thread).
    const std::shared_ptr<RellumWindowSnapshot>& windowSnapshot() const { return windowSnapshot_; }
    // The titles pushed and not yet popped, oldest first (render queue).
    const std::vector<std::string>& terminalTitleStack() const { return terminalTitleStack_; }
    // The title as it may be sent back to the host: control characters
    // (C0, DEL, C1) and malformed UTF-8 removed.
    static std::string rellum_reportableTitle(std::string_view title);

    // Seconds on the render queue's clock of the last accepted bell; none yet.
    std::optional<double> lastBellTimestamp_;
    std::vector<std::string> terminalTitleStack_;
    std::shared_ptr<RellumWindowSnapshot> windowSnapshot_ = std::make_shared<RellumWindowSnapshot>();

private:
    // 1-based row and column as the host gives them, relative to the
    // margins in origin mode.
    void moveCursorToColumn(uint64_t column);
    void moveCursorToRowIndex(uint64_t row);
    // Insert (up) or delete (down) lines at the cursor row.
    void panLinesAtCursor(uint64_t count, bool insert);
    // The largest page size a host request may set.
    RellumPageSize hostPageSizeLimit() const;
    void writeReply(const std::string& reply);
    void notifyTitleChange(const std::optional<std::string>& title);
};
