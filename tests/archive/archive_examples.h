// The smallest complete archive, byte for byte: a root directory holding one 5-byte file a.txt
// stored unchanged. Both the reader and the writer tests compare with it.
#pragma once

#include "archive_bytes.h"

namespace npl::test {

// clang-format off
inline const Bytes kOneEntryArchive = {
    // File header
    'N', 'o', 'r', 'v', 'a', 0x1A, 0x00, 0x00,
    0x00, 0x04, 0x00, 0x02, // file type id 0x02000400
    0x00, 0x00, 0x00, 0x00, // reserved
    'T', 'O', 'V', 'R', 'A', '-', 'A', 'r', 'c', 'h', 'i', 'v', 'e', ' ', 'f', 'i', 'l', 'e',
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,  // root record id
    87, 0, 0, 0, 0, 0, 0, 0, // root length: 66 + 21
    // Offset 64: the "DirEntry" record, 16 + 50 bytes
    'D', 'i', 'r', 'E', 'n', 't', 'r', 'y',
    50, 0, 0, 0, 0, 0, 0, 0,
    1, 0, 0, 0,             // entry count
    5, 0, 0, 0, 0, 0, 0, 0, // length
    0, 0, 0, 0,             // attribute
    0, 0, 0, 0,             // encode type
    66, 0, 0, 0, 0, 0, 0, 0, // data offset
    30, 15, 10, 2, 11, 12, 0xDC, 0x07, // 10:15:30, Tuesday 11 December 2012
    0, 0, 0, 0,             // extra-information length
    6, 0, 0, 0,             // name length
    'a', '.', 't', 'x', 't', 0,
    // Offset 130: the entry's "filedata" record
    'f', 'i', 'l', 'e', 'd', 'a', 't', 'a',
    5, 0, 0, 0, 0, 0, 0, 0,
    'h', 'e', 'l', 'l', 'o',
};
// clang-format on

} // namespace npl::test
