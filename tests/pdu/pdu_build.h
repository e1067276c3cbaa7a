#ifndef TARNEL_TESTS_PDU_BUILD_H
#define TARNEL_TESTS_PDU_BUILD_H

// Building the PDUs the decoder tests feed in, as a sender lays them out.

#include <string>
#include <vector>

namespace pdu_build {

inline std::string Hex(const std::vector<unsigned char>& b)
{
    static const char D[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : b) {
        s += D[c >> 4];
        s += D[c & 15];
    }
    return s;
}

// User data in the 7-bit alphabet, as a sender packs it: `header` octets
// first, then the septets from the next septet boundary. Returns UDL + UD hex.
inline std::string Pack7(const std::vector<unsigned char>& header, const std::vector<unsigned char>& septets)
{
    const size_t first = header.empty() ? 0 : (header.size() * 8 + 6) / 7;
    const size_t udl = first + septets.size();
    std::vector<unsigned char> ud((udl * 7 + 7) / 8, 0);
    for (size_t i = 0; i < header.size(); ++i) {
        ud[i] = header[i];
    }
    for (size_t i = 0; i < septets.size(); ++i) {
        const size_t bit = (first + i) * 7;
        const unsigned v = septets[i] & 0x7Fu;
        ud[bit / 8] = static_cast<unsigned char>(ud[bit / 8] | (v << (bit % 8)));
        if (bit % 8 > 1) {
            ud[bit / 8 + 1] = static_cast<unsigned char>(ud[bit / 8 + 1] | (v >> (8 - bit % 8)));
        }
    }
    return Hex({static_cast<unsigned char>(udl)}) + Hex(ud);
}

inline std::vector<unsigned char> Ascii(const std::string& s)
{
    return std::vector<unsigned char>(s.begin(), s.end());
}

// No centre, first octet `fo`, sender 31641600986, `dcs`, 2023-05-17 08:30:00.
inline std::string Deliver(const std::string& fo, const std::string& dcs, const std::string& udlAndUd)
{
    return "00" + fo + "0B911346610089F600" + dcs + "32507180030000" + udlAndUd;
}

// Packed 7-bit user data without a header: UDL + UD hex.
inline std::string Septets(const std::vector<unsigned char>& s)
{
    return Pack7({}, s);
}

}  // namespace pdu_build

#endif
