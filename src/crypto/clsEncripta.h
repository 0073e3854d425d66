#pragma once
// The cipher facade: text in, upper-case hexadecimal out (two digits per byte), and back.
//
// Selectors: 0 Blowfish (clsCrypBlowfish). 1 DES, 2 GOST, 3 RC4, 4 Rijndael, 5 Serpent,
// 6 Skipjack, 7 TEA and 8 Twofish are not carried by this build and give an empty text, as
// does any selector outside 0 to 8. Make one instance for the task at hand and drop it after.

#include "crypto/clsCrypBlowfish.h"

#include <QString>

namespace crypto {

class clsEncripta {
public:
    // Upper-case hex of the cipher text; the empty plain text gives a valid cipher text too.
    QString Encripta(int selector, const QString& key, const QString& plain);
    // Hex in either case. An odd length, a character that is not a hex digit or a refused
    // cipher text gives an empty text.
    QString Desencripta(int selector, const QString& key, const QString& cipherHex);

private:
    clsCrypBlowfish blowfish_;
};

}  // namespace crypto
