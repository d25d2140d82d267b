#include "app/OrvikTerminal.h"

#include "Halvex/HalvexUUID.h"
#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "Wendle/WendleDispatch.h"
#include "app/OrvikController.h"

#include <QPixmap>

std::shared_ptr<OrvikTerminal> OrvikTerminal::make(std::shared_ptr<OrvikController> shellController,
                                                   std::weak_ptr<RellumTerminalDelegate> delegate,
                                                   Options options) {
    if (!options.screenControllerFactory)
        options.screenControllerFactory = RellumQtScreenController::factory();
    return std::make_shared<OrvikTerminal>(std::move(shellController), std::move(delegate),
                                           std::move(options));
}

OrvikTerminal::OrvikTerminal(std::shared_ptr<OrvikController> shellController,
                             std::weak_ptr<RellumTerminalDelegate> delegate, Options options)
    : RellumTerminal(std::move(delegate), std::move(options)), uid_(HalvexNewUUIDString()),
      shellController_(std::move(shellController)) {}

// The last owner may let go on a render or SSH thread. The view goes on the
// main thread first: its events reach this object's controller through the
// delegate until then.
OrvikTerminal::~OrvikTerminal() {
    releaseViewParts();
}

std::string OrvikTerminal::displayTitle() const {
    std::lock_guard lock(mutex_);
    return displayTitle_;
}

void OrvikTerminal::setDisplayTitle(const std::string& title) {
    std::lock_guard lock(mutex_);
    displayTitle_ = title;
}

std::string OrvikTerminal::titleNotation() const {
    std::string notation = shellController_ ? shellController_->name().value_or("") : std::string();
    if (auto title = displayTitle(); !title.empty()) notation.append(" - ").append(title);
    return notation;
}

void OrvikTerminal::setPageFont(std::shared_ptr<const RellumFont> font) {
    pageFont_ = font;
    setFont(std::move(font));
}

QImage OrvikTerminal::snapshot() const {
    auto* controller = RellumQtScreenController::of(*this);
    if (!controller || !controller->view()) return {};
    return controller->view()->grab().toImage();
}

void OrvikTerminal::updateSnapshot() {
    std::weak_ptr<RellumTerminal> weak = weak_from_this();
    WendleDispatchAsyncOnMainQueue([weak] {
        auto self = std::static_pointer_cast<OrvikTerminal>(weak.lock());
        if (!self) return;
        self->willChangeValueForKey("snapshot");
        self->didChangeValueForKey("snapshot");
    });
}
