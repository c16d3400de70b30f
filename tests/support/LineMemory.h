#pragma once

#include "memory/FastRAM.h"
#include "memory/MemoryLines.h"
#include "memory/SixtyFourKbRAM.h"

namespace tarnwick::testing {

// A memory for tests with its 35 lines folded into a few hooks that take the
// line's number, so that a test memory says only what it does differently.
class LineMemory : public SixtyFourKbRAM {
public:
    void setAddressBit0(bool on) final { setAddressLine(0, on); }
    void setAddressBit1(bool on) final { setAddressLine(1, on); }
    void setAddressBit2(bool on) final { setAddressLine(2, on); }
    void setAddressBit3(bool on) final { setAddressLine(3, on); }
    void setAddressBit4(bool on) final { setAddressLine(4, on); }
    void setAddressBit5(bool on) final { setAddressLine(5, on); }
    void setAddressBit6(bool on) final { setAddressLine(6, on); }
    void setAddressBit7(bool on) final { setAddressLine(7, on); }
    void setAddressBit8(bool on) final { setAddressLine(8, on); }
    void setAddressBit9(bool on) final { setAddressLine(9, on); }
    void setAddressBit10(bool on) final { setAddressLine(10, on); }
    void setAddressBit11(bool on) final { setAddressLine(11, on); }
    void setAddressBit12(bool on) final { setAddressLine(12, on); }
    void setAddressBit13(bool on) final { setAddressLine(13, on); }
    void setAddressBit14(bool on) final { setAddressLine(14, on); }
    void setAddressBit15(bool on) final { setAddressLine(15, on); }
    void setDataInBit0(bool on) final { setDataInLine(0, on); }
    void setDataInBit1(bool on) final { setDataInLine(1, on); }
    void setDataInBit2(bool on) final { setDataInLine(2, on); }
    void setDataInBit3(bool on) final { setDataInLine(3, on); }
    void setDataInBit4(bool on) final { setDataInLine(4, on); }
    void setDataInBit5(bool on) final { setDataInLine(5, on); }
    void setDataInBit6(bool on) final { setDataInLine(6, on); }
    void setDataInBit7(bool on) final { setDataInLine(7, on); }
    bool getDataOutBit0() final { return dataOutLine(0); }
    bool getDataOutBit1() final { return dataOutLine(1); }
    bool getDataOutBit2() final { return dataOutLine(2); }
    bool getDataOutBit3() final { return dataOutLine(3); }
    bool getDataOutBit4() final { return dataOutLine(4); }
    bool getDataOutBit5() final { return dataOutLine(5); }
    bool getDataOutBit6() final { return dataOutLine(6); }
    bool getDataOutBit7() final { return dataOutLine(7); }
    // A test memory stands in for the byte array.
    bool relayBuilt() const override { return false; }

protected:
    virtual void setAddressLine(int line, bool on) = 0;
    virtual void setDataInLine(int line, bool on) = 0;
    virtual bool dataOutLine(int line) = 0;
};

// Passes every line and step to a byte array; derive to watch or disturb.
class ForwardingMemory : public LineMemory {
public:
    void setVoltage(bool on) override { inner_.setVoltage(on); }
    void setWrite(bool on) override { inner_.setWrite(on); }
    void step() override { inner_.step(); }
    std::uint8_t peek(std::uint16_t address) const override { return inner_.peek(address); }

protected:
    // Each member pointer is copied out before the call: GCC's bounds
    // sanitizer misreports an indexed member-pointer call.
    void setAddressLine(int line, bool on) override {
        const LineSetter set = addressLineSetters[line];
        (inner_.*set)(on);
    }
    void setDataInLine(int line, bool on) override {
        const LineSetter set = dataInLineSetters[line];
        (inner_.*set)(on);
    }
    bool dataOutLine(int line) override {
        const LineGetter get = dataOutLineGetters[line];
        return (inner_.*get)();
    }

    FastRAM inner_;
};

}  // namespace tarnwick::testing
