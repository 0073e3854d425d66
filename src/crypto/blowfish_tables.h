#pragma once
// Blowfish's initial tables: the fractional hexadecimal digits of pi, taken 32 bits at a time,
// the P-array first and then the four S-boxes in order.

#include <QtGlobal>
#include <array>

namespace crypto::blowfish {

extern const std::array<quint32, 18> kInitialP;
extern const std::array<std::array<quint32, 256>, 4> kInitialS;

}  // namespace crypto::blowfish
