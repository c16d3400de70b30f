#pragma once

#include <cstdint>
#include <memory>

#include "memory/SixtyFourKbRAM.h"

namespace tarnwick {

// The memory as a plain 64-KB byte array: the same lines and the same step
// as the relay-built memory, at constant cost per step.
class FastRAM final : public SixtyFourKbRAM {
public:
    FastRAM();

    void setVoltage(bool on) override { voltage_ = on; }
    void setWrite(bool on) override { write_ = on; }
    void setAddressBit0(bool on) override { setAddressBit(0, on); }
    void setAddressBit1(bool on) override { setAddressBit(1, on); }
    void setAddressBit2(bool on) override { setAddressBit(2, on); }
    void setAddressBit3(bool on) override { setAddressBit(3, on); }
    void setAddressBit4(bool on) override { setAddressBit(4, on); }
    void setAddressBit5(bool on) override { setAddressBit(5, on); }
    void setAddressBit6(bool on) override { setAddressBit(6, on); }
    void setAddressBit7(bool on) override { setAddressBit(7, on); }
    void setAddressBit8(bool on) override { setAddressBit(8, on); }
    void setAddressBit9(bool on) override { setAddressBit(9, on); }
    void setAddressBit10(bool on) override { setAddressBit(10, on); }
    void setAddressBit11(bool on) override { setAddressBit(11, on); }
    void setAddressBit12(bool on) override { setAddressBit(12, on); }
    void setAddressBit13(bool on) override { setAddressBit(13, on); }
    void setAddressBit14(bool on) override { setAddressBit(14, on); }
    void setAddressBit15(bool on) override { setAddressBit(15, on); }
    void setDataInBit0(bool on) override { setDataInBit(0, on); }
    void setDataInBit1(bool on) override { setDataInBit(1, on); }
    void setDataInBit2(bool on) override { setDataInBit(2, on); }
    void setDataInBit3(bool on) override { setDataInBit(3, on); }
    void setDataInBit4(bool on) override { setDataInBit(4, on); }
    void setDataInBit5(bool on) override { setDataInBit(5, on); }
    void setDataInBit6(bool on) override { setDataInBit(6, on); }
    void setDataInBit7(bool on) override { setDataInBit(7, on); }
    bool getDataOutBit0() override { return dataOutBit(0); }
    bool getDataOutBit1() override { return dataOutBit(1); }
    bool getDataOutBit2() override { return dataOutBit(2); }
    bool getDataOutBit3() override { return dataOutBit(3); }
    bool getDataOutBit4() override { return dataOutBit(4); }
    bool getDataOutBit5() override { return dataOutBit(5); }
    bool getDataOutBit6() override { return dataOutBit(6); }
    bool getDataOutBit7() override { return dataOutBit(7); }
    void step() override;
    bool relayBuilt() const override { return false; }
    std::uint8_t peek(std::uint16_t address) const override { return memory_[address]; }
    bool saveState(std::vector<std::uint8_t>& state) const override;
    bool restoreState(const std::vector<std::uint8_t>& state) override;

private:
    void setAddressBit(int line, bool on) {
        address_ = (address_ & ~(1u << line)) | (static_cast<std::uint32_t>(on) << line);
    }
    void setDataInBit(int line, bool on) {
        dataIn_ = static_cast<std::uint8_t>((dataIn_ & ~(1u << line)) | (static_cast<unsigned>(on) << line));
    }
    bool dataOutBit(int line) const { return ((dataOut_ >> line) & 1) != 0; }

    std::unique_ptr<std::uint8_t[]> memory_;
    std::uint8_t voltage_ = 0;
    std::uint8_t write_ = 0;
    std::uint32_t address_ = 0;  // bits 16 to 31 stay 0
    std::uint32_t latchedAddress_ = 0;
    std::uint8_t dataIn_ = 0;
    std::uint8_t dataOut_ = 0;
};

}  // namespace tarnwick
