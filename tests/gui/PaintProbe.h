#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

namespace tarnwick::test {

// Counts the paint events and queued calls a widget receives, and notes
// whether any paint arrived off the window thread.
class PaintProbe : public QObject {
public:
    explicit PaintProbe(QObject* watched) { watched->installEventFilter(this); }

    int paints = 0;
    int queuedCalls = 0;
    bool paintedOffWindowThread = false;

    void reset() {
        paints = 0;
        queuedCalls = 0;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                paintedOffWindowThread = true;
        } else if (event->type() == QEvent::MetaCall) {
            ++queuedCalls;
        }
        return false;
    }
};

}  // namespace tarnwick::test
