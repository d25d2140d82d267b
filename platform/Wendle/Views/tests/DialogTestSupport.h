#pragma once

// What the dialog tests share: answering the next modal dialog from inside its
// own event loop, running the event loop, and reading labels.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace dialog_test {

// Calls `action` from the event loop of the first modal dialog of type D that
// opens (waiting at most about `waitMs`). Should the action leave the dialog
// open, it is rejected 5 s later and the test fails, so a broken case cannot
// hang the run.
template <class D>
void whenModal(std::function<void(D*)> action, int waitMs = 5000) {
    auto* timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, action, waitMs] {
        auto* dialog = dynamic_cast<D*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++*ticks > waitMs / 2) {
                timer->stop();
                timer->deleteLater();
                ADD_FAILURE() << "no modal dialog opened";
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        QPointer<QDialog> guard(dialog);
        action(dialog);
        QTimer::singleShot(5000, [guard] {
            if (guard && guard->isVisible()) {
                ADD_FAILURE() << "dialog left open";
                guard->reject();
            }
        });
    });
    timer->start(2);
}

// Runs the event loop until nothing is left to do (objects waiting for
// deletion included), then for `milliseconds` more.
inline void pumpEvents(int milliseconds = 0) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (milliseconds > 0) QThread::msleep(1);
    } while (timer.elapsed() < milliseconds);
}

// A label's text; server text must never be read as markup.
inline QString labelText(QWidget* dialog, const char* name) {
    auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name));
    if (!label) return QStringLiteral("<no label %1>").arg(QString::fromLatin1(name));
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << name;
    return label->text();
}

} // namespace dialog_test
