// Base64 with the standard alphabet and "=" padding, as used for proxy
// credentials in "qmknet.dat" and in Proxy-Authorization headers.
#pragma once

#include <string>
#include <string_view>

namespace trovelane {

// Encodes without line breaks: the text goes into header lines, where a
// CR LF would end the line.
std::string Base64Encode(std::string_view bytes);

// Decodes, skipping CR and LF (older settings files hold text broken every 76
// characters) and stopping at the first "=" or at any other character that is
// not of the alphabet.
std::string Base64Decode(std::string_view text);

}  // namespace trovelane
