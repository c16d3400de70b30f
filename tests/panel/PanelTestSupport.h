#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "memory/FastRAM.h"
#include "memory/SixtyFourKbRAM.h"

namespace tarnwick::test {

// Lets every queued request and the paints they cause run.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

// Runs action on the first modal widget of type T that appears (a dialog
// opened with exec() blocks the caller, so the test acts from a timer inside
// the dialog's own loop). The returned flag tells whether it ever ran.
template <typename T>
std::shared_ptr<bool> whenModalAppears(std::function<void(T*)> action, int timeoutMs = 10000) {
    auto ran = std::make_shared<bool>(false);
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, ran, action, timeoutMs] {
        if (T* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            *ran = true;
            action(modal);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
        } else {
            return;
        }
        timer->deleteLater();
        delete clock;
    });
    timer->start();
    return ran;
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

// The worked example: load 5Ah from 20h, add 33h from 21h, store at 22h,
// halt. The accumulator ends at 8Dh.
inline std::vector<std::uint8_t> workedExample() {
    std::vector<std::uint8_t> image(0x22, 0);
    const std::uint8_t program[] = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    std::copy(std::begin(program), std::end(program), image.begin());
    image[0x20] = 0x5A;
    image[0x21] = 0x33;
    return image;
}

// A byte-array memory that counts its steps, to see how often the panel
// steps the memory.
class CountingRAM final : public SixtyFourKbRAM {
public:
    std::atomic<int> steps{0};

#define TARNWICK_FORWARD_SETTER(name) \
    void name(bool on) override { inner.name(on); }
#define TARNWICK_FORWARD_GETTER(name) \
    bool name() override { return inner.name(); }
    TARNWICK_FORWARD_SETTER(setVoltage)
    TARNWICK_FORWARD_SETTER(setWrite)
    TARNWICK_FORWARD_SETTER(setAddressBit0)
    TARNWICK_FORWARD_SETTER(setAddressBit1)
    TARNWICK_FORWARD_SETTER(setAddressBit2)
    TARNWICK_FORWARD_SETTER(setAddressBit3)
    TARNWICK_FORWARD_SETTER(setAddressBit4)
    TARNWICK_FORWARD_SETTER(setAddressBit5)
    TARNWICK_FORWARD_SETTER(setAddressBit6)
    TARNWICK_FORWARD_SETTER(setAddressBit7)
    TARNWICK_FORWARD_SETTER(setAddressBit8)
    TARNWICK_FORWARD_SETTER(setAddressBit9)
    TARNWICK_FORWARD_SETTER(setAddressBit10)
    TARNWICK_FORWARD_SETTER(setAddressBit11)
    TARNWICK_FORWARD_SETTER(setAddressBit12)
    TARNWICK_FORWARD_SETTER(setAddressBit13)
    TARNWICK_FORWARD_SETTER(setAddressBit14)
    TARNWICK_FORWARD_SETTER(setAddressBit15)
    TARNWICK_FORWARD_SETTER(setDataInBit0)
    TARNWICK_FORWARD_SETTER(setDataInBit1)
    TARNWICK_FORWARD_SETTER(setDataInBit2)
    TARNWICK_FORWARD_SETTER(setDataInBit3)
    TARNWICK_FORWARD_SETTER(setDataInBit4)
    TARNWICK_FORWARD_SETTER(setDataInBit5)
    TARNWICK_FORWARD_SETTER(setDataInBit6)
    TARNWICK_FORWARD_SETTER(setDataInBit7)
    TARNWICK_FORWARD_GETTER(getDataOutBit0)
    TARNWICK_FORWARD_GETTER(getDataOutBit1)
    TARNWICK_FORWARD_GETTER(getDataOutBit2)
    TARNWICK_FORWARD_GETTER(getDataOutBit3)
    TARNWICK_FORWARD_GETTER(getDataOutBit4)
    TARNWICK_FORWARD_GETTER(getDataOutBit5)
    TARNWICK_FORWARD_GETTER(getDataOutBit6)
    TARNWICK_FORWARD_GETTER(getDataOutBit7)
#undef TARNWICK_FORWARD_SETTER
#undef TARNWICK_FORWARD_GETTER

    void step() override {
        inner.step();
        steps.fetch_add(1, std::memory_order_relaxed);
    }

private:
    FastRAM inner;
};

}  // namespace tarnwick::test
