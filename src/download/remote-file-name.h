// The name a downloaded file is saved under, learned from the server.
#pragma once

#include <string_view>

#include "support/text.h"

namespace tessaly {

// Percent-decodes byte by byte ("+" stays, a decoded NUL is dropped, a "%"
// without two hex digits is kept as it is), then reads the bytes as UTF-8 and
// converts them to GBK.
Text DecodeFileName(std::string_view text);

// The last "/"-separated piece of the address (a final "/" does not start a
// piece) when it contains a "."; "" otherwise.
Text LastPathSegment(std::string_view address);

// The quoted name after a case-sensitive `filename="` in a Content-Disposition
// value, undecoded; "" when there is none.
Text DispositionFileName(std::string_view header);

// Makes a network-supplied name safe to join to a folder: separators and the
// characters file systems refuse become "-", as do ".." and control bytes, so
// the joined path never leaves the folder.
Text CleanFileName(std::string_view name);

// The name taken from the address: last piece, decoded, cut at "?", cleaned.
Text AddressFileName(std::string_view address);

// Asks the server (HEAD, 5 s) and takes the Content-Disposition name, else the
// address's name; both cleaned. "" when the server does not answer in time or
// no name can be had.
Text ProbeFileName(const Text& address);
Text ProbeFileName(const Text& address, int seconds);

}  // namespace tessaly
