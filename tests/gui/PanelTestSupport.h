#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "tests/support/LineMemory.h"
#include "tests/support/MemoryFiles.h"

namespace tarnwick::test {

// Points the panel's remembered state (QSettings) at a folder of its own
// for as long as it lives, so that a test never reads or writes the user's.
class TemporarySettings {
public:
    TemporarySettings() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path()); }
    bool valid() const { return dir_.isValid(); }
    // Forgets everything remembered so far.
    static void clear() { QSettings(QStringLiteral("Tarnwick"), QStringLiteral("tarnwick")).clear(); }

private:
    QTemporaryDir dir_;
};

// Lets every queued request and the paints they cause run.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

// Acts on the first modal widget of type T that appears, from a timer inside
// the modal's own event loop (a dialog opened with exec() blocks the caller).
// Every wait is bounded and nothing is left open:
// - if no such modal appears within appearWithinMs, failure() says so, and a
//   modal that shows up later is rejected at once;
// - if the modal is still open closeWithinMs after the action ran (an action
//   that failed half-way, say), it is rejected and failure() says so.
// The watch ends when the object goes; keep it alive across the call that
// opens the modal and check failure() afterwards.
template <typename T>
class ModalWatch {
public:
    explicit ModalWatch(std::function<void(T*)> action, int appearWithinMs = 5000, int closeWithinMs = 5000)
        : action_(std::move(action)), appearWithinMs_(appearWithinMs), closeWithinMs_(closeWithinMs) {
        clock_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    ~ModalWatch() {
        timer_.stop();
        if (target_ && target_->isVisible()) closeModal(target_);
    }
    ModalWatch(const ModalWatch&) = delete;
    ModalWatch& operator=(const ModalWatch&) = delete;

    bool acted() const { return acted_; }
    // Empty when the modal appeared in time and closed after the action.
    QString failure() const { return failure_; }

private:
    static void closeModal(QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        T* wanted = qobject_cast<T*>(modal);
        const qint64 now = clock_.elapsed();
        if (!acted_ && wanted && wanted->isVisible() && now <= appearWithinMs_) {
            acted_ = true;
            target_ = wanted;
            actedAt_ = now;
            action_(wanted);
            return;
        }
        if (!acted_ && now > appearWithinMs_) {
            if (failure_.isEmpty())
                failure_ = QStringLiteral("waited %1 ms for a %2 to open")
                               .arg(appearWithinMs_)
                               .arg(T::staticMetaObject.className());
            if (wanted) {
                failure_ += QStringLiteral("; it opened late and was closed");
                closeModal(wanted);
            }
            return;
        }
        if (acted_ && target_ && target_->isVisible() && now - actedAt_ > closeWithinMs_) {
            failure_ = QStringLiteral("the %1 was still open %2 ms after the test acted on it; closed it")
                           .arg(T::staticMetaObject.className())
                           .arg(closeWithinMs_);
            closeModal(target_);
        }
    }

    std::function<void(T*)> action_;
    int appearWithinMs_;
    int closeWithinMs_;
    QTimer timer_;
    QElapsedTimer clock_;
    QPointer<T> target_;
    qint64 actedAt_ = 0;
    bool acted_ = false;
    QString failure_;
};

// Fails the running test with the watch's message, if it has one.
#define TARNWICK_VERIFY_MODAL(watch) QVERIFY2((watch).failure().isEmpty(), qPrintable((watch).failure()))

// Whether any pixel in the box is dark: text or a drawing is there.
inline bool hasInk(const QImage& image, QRect box) {
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (qGray(image.pixel(x, y)) < 96) return true;
    return false;
}

// A memory file: big-endian first and last address, then the image from
// address 0 (zeros up to first).
inline bool writeMemoryFile(const QString& path, std::int32_t first, std::int32_t last,
                            const std::vector<std::uint8_t>& image) {
    QByteArray bytes;
    for (std::int32_t value : {first, last})
        for (int shift = 24; shift >= 0; shift -= 8) bytes.append(static_cast<char>((value >> shift) & 0xFF));
    for (std::uint8_t b : image) bytes.append(static_cast<char>(b));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

using tarnwick::testing::workedExample;

// A byte-array memory that counts its steps, to see how often the panel
// steps the memory.
class CountingRAM final : public tarnwick::testing::ForwardingMemory {
public:
    std::atomic<int> steps{0};

    void step() override {
        inner_.step();
        steps.fetch_add(1, std::memory_order_relaxed);
    }
};

}  // namespace tarnwick::test
