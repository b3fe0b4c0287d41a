// Natural logarithms of the primes up to 509 in fixed point (5000 x ln p,
// to the nearest integer), and the logarithm of any 1..509 built from them
// by prime factorisation at compile time.
#pragma once

#include <array>
#include <cstdint>

namespace kestrl::colour {

struct PrimeLog {
  int32_t prime;
  int32_t log5000;  // nearest integer to 5000 x ln(prime)
};

inline constexpr PrimeLog kPrimeLogs[] = {
    {2, 3466},    {3, 5493},    {5, 8047},    {7, 9730},    {11, 11989},  {13, 12825},
    {17, 14166},  {19, 14722},  {23, 15677},  {29, 16836},  {31, 17170},  {37, 18055},
    {41, 18568},  {43, 18806},  {47, 19251},  {53, 19851},  {59, 20388},  {61, 20554},
    {67, 21023},  {71, 21313},  {73, 21452},  {79, 21847},  {83, 22094},  {89, 22443},
    {97, 22874},  {101, 23076}, {103, 23174}, {107, 23364}, {109, 23457}, {113, 23637},
    {127, 24221}, {131, 24376}, {137, 24600}, {139, 24672}, {149, 25020}, {151, 25086},
    {157, 25281}, {163, 25469}, {167, 25590}, {173, 25766}, {179, 25937}, {181, 25992},
    {191, 26261}, {193, 26313}, {197, 26416}, {199, 26467}, {211, 26759}, {223, 27036},
    {227, 27125}, {229, 27169}, {233, 27255}, {239, 27382}, {241, 27424}, {251, 27627},
    {257, 27745}, {263, 27861}, {269, 27974}, {271, 28011}, {277, 28120}, {281, 28192},
    {283, 28227}, {293, 28401}, {307, 28634}, {311, 28699}, {313, 28731}, {317, 28795},
    {331, 29011}, {337, 29100}, {347, 29247}, {349, 29275}, {353, 29332}, {359, 29417},
    {367, 29527}, {373, 29608}, {379, 29688}, {383, 29740}, {389, 29818}, {397, 29920},
    {401, 29970}, {409, 30069}, {419, 30189}, {421, 30213}, {431, 30331}, {433, 30354},
    {439, 30422}, {443, 30468}, {449, 30535}, {457, 30623}, {461, 30667}, {463, 30689},
    {467, 30732}, {479, 30859}, {487, 30941}, {491, 30982}, {499, 31063}, {503, 31103},
    {509, 31162},
};

inline constexpr int32_t kLogLimit = 509;

// L(n) for 0 <= n <= 509: the sum of the prime logarithms of n's factors,
// with multiplicity; L(1) = 0 (and L(0), never used, is 0).
inline constexpr std::array<int32_t, kLogLimit + 1> kLogTable = [] {
  std::array<int32_t, kLogLimit + 1> table{};
  for (int32_t n = 2; n <= kLogLimit; ++n) {
    int32_t rest = n;
    for (const PrimeLog& p : kPrimeLogs) {
      while (rest % p.prime == 0) {
        rest /= p.prime;
        table[n] += p.log5000;
      }
    }
  }
  return table;
}();

}  // namespace kestrl::colour
