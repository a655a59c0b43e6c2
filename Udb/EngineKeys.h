// EngineKeys: the engine's two built-in keys, kept in this one place.
//  - kDefaultMasterKey (14 printable characters): the master key used when
//    the connection gives none; it keys the Blowfish page cipher and its
//    SHA-1 goes into the security header.
//  - kXorKeyBuffer (71 printable characters): the key of the table-keyed
//    XOR page cipher, given to every page file at open.
// Changing either makes existing enciphered database files unreadable.
#pragma once

#include <string_view>

inline constexpr std::string_view kDefaultMasterKey = "Gz#Pay-7kQ2w!Z";
inline constexpr std::string_view kXorKeyBuffer =
    "R8f!kq2Lz@Wm5^Tn0$Hx7&Jc3*Vb9(Ps4)Gd6-Ye1+Ua8=Oi2[Nl5]Kr7{Mt0}Ew3;Qz9:~";

static_assert(kDefaultMasterKey.size() == 14);
static_assert(kXorKeyBuffer.size() == 71);
