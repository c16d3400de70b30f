#include "memory/SixtyFourKilobyteRAM.h"

#include <cstring>

namespace tarnwick {

// The pool's current chunk is closed whether the tree was built or not, so
// that releasing the tree returns every chunk to the heap.
SixtyFourKilobyteRAM::SixtyFourKilobyteRAM() try : body_() { PartPool::closeChunk(); } catch (...) {
    PartPool::closeChunk();
}

SixtyFourKilobyteRAM::~SixtyFourKilobyteRAM() = default;

void SixtyFourKilobyteRAM::setVoltage(bool on) { body_.setVoltage(on); }
void SixtyFourKilobyteRAM::setWrite(bool on) { body_.setWrite(on); }
void SixtyFourKilobyteRAM::setAddressBit0(bool on) { body_.setAddressBit<0>(on); }
void SixtyFourKilobyteRAM::setAddressBit1(bool on) { body_.setAddressBit<1>(on); }
void SixtyFourKilobyteRAM::setAddressBit2(bool on) { body_.setAddressBit<2>(on); }
void SixtyFourKilobyteRAM::setAddressBit3(bool on) { body_.setAddressBit<3>(on); }
void SixtyFourKilobyteRAM::setAddressBit4(bool on) { body_.setAddressBit<4>(on); }
void SixtyFourKilobyteRAM::setAddressBit5(bool on) { body_.setAddressBit<5>(on); }
void SixtyFourKilobyteRAM::setAddressBit6(bool on) { body_.setAddressBit<6>(on); }
void SixtyFourKilobyteRAM::setAddressBit7(bool on) { body_.setAddressBit<7>(on); }
void SixtyFourKilobyteRAM::setAddressBit8(bool on) { body_.setAddressBit<8>(on); }
void SixtyFourKilobyteRAM::setAddressBit9(bool on) { body_.setAddressBit<9>(on); }
void SixtyFourKilobyteRAM::setAddressBit10(bool on) { body_.setAddressBit<10>(on); }
void SixtyFourKilobyteRAM::setAddressBit11(bool on) { body_.setAddressBit<11>(on); }
void SixtyFourKilobyteRAM::setAddressBit12(bool on) { body_.setAddressBit<12>(on); }
void SixtyFourKilobyteRAM::setAddressBit13(bool on) { body_.setAddressBit<13>(on); }
void SixtyFourKilobyteRAM::setAddressBit14(bool on) { body_.setAddressBit<14>(on); }
void SixtyFourKilobyteRAM::setAddressBit15(bool on) { body_.setAddressBit<15>(on); }
void SixtyFourKilobyteRAM::setDataInBit0(bool on) { body_.setDataInBit(0, on); }
void SixtyFourKilobyteRAM::setDataInBit1(bool on) { body_.setDataInBit(1, on); }
void SixtyFourKilobyteRAM::setDataInBit2(bool on) { body_.setDataInBit(2, on); }
void SixtyFourKilobyteRAM::setDataInBit3(bool on) { body_.setDataInBit(3, on); }
void SixtyFourKilobyteRAM::setDataInBit4(bool on) { body_.setDataInBit(4, on); }
void SixtyFourKilobyteRAM::setDataInBit5(bool on) { body_.setDataInBit(5, on); }
void SixtyFourKilobyteRAM::setDataInBit6(bool on) { body_.setDataInBit(6, on); }
void SixtyFourKilobyteRAM::setDataInBit7(bool on) { body_.setDataInBit(7, on); }
bool SixtyFourKilobyteRAM::getDataOutBit0() { return body_.getDataOutBit(0); }
bool SixtyFourKilobyteRAM::getDataOutBit1() { return body_.getDataOutBit(1); }
bool SixtyFourKilobyteRAM::getDataOutBit2() { return body_.getDataOutBit(2); }
bool SixtyFourKilobyteRAM::getDataOutBit3() { return body_.getDataOutBit(3); }
bool SixtyFourKilobyteRAM::getDataOutBit4() { return body_.getDataOutBit(4); }
bool SixtyFourKilobyteRAM::getDataOutBit5() { return body_.getDataOutBit(5); }
bool SixtyFourKilobyteRAM::getDataOutBit6() { return body_.getDataOutBit(6); }
bool SixtyFourKilobyteRAM::getDataOutBit7() { return body_.getDataOutBit(7); }

void SixtyFourKilobyteRAM::step() { body_.step(); }

namespace {

struct RelayCopier {
    std::uint8_t* out;
    template <class T>
    void part(const T&) {}
    template <class Circuit>
    void circuit(const Circuit& circuit) {
        std::memcpy(out, static_cast<const void*>(&circuit), sizeof circuit);
        out += sizeof circuit;
    }
};

}  // namespace

void SixtyFourKilobyteRAM::copyRelayStates(std::uint8_t* out) const {
    RelayCopier copier{out};
    visitParts(copier);
}

std::uint8_t SixtyFourKilobyteRAM::peek(std::uint16_t address) const { return body_.peek(address); }

}  // namespace tarnwick
