#pragma once

#include "Wendle/VyMMLogger.h"

#include <QWidget>

#include <cstddef>
#include <map>
#include <memory>

class HalvexSessionController;
class QPlainTextEdit;

// The connection log of one page, as the log popover shows it: the log so
// far, then every new line as it is written, each in its level's colour. A
// reader who scrolled up stays where they are; at the bottom the view
// follows the log. GUI thread only; lines may be written on any thread.
//
// Object names: "logView" (the view), "logTextView".
class OrvikLogViewController : public QWidget {
    Q_OBJECT
public:
    explicit OrvikLogViewController(std::shared_ptr<HalvexSessionController> sessionController,
                                    QWidget* parent = nullptr);

    const std::shared_ptr<HalvexSessionController>& sessionController() const { return sessionController_; }
    QPlainTextEdit* logTextView() const { return logTextView_; }
    // Lines shown so far.
    std::size_t shownLineCount() const { return nextIndex_; }

    QSize sizeHint() const override { return {560, 320}; }

private:
    // A new line of this log: shown in order, once, whatever thread wrote it.
    void newLogRised(const VyMMLogLine& line);
    void append(const VyMMLogLine& line);

    std::shared_ptr<HalvexSessionController> sessionController_;
    QPlainTextEdit* logTextView_;
    std::size_t nextIndex_ = 0;
    // Lines that arrived before an earlier one (writers on two threads).
    std::map<std::size_t, VyMMLogLine> early_;
};
