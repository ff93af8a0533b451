// The identities of the bar's class and type library, as Navletbar.idl and the
// class registration name them.
#pragma once

#include <windows.h>

namespace navlet::win32 {

// {5E0A7C21-6B3D-4F19-9A42-C8D17E05B3A6}
inline constexpr CLSID CLSID_Navlet = {
    0x5E0A7C21, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};
// The type library "NavletBar Library" 1.0.
inline constexpr GUID LIBID_NavletBar = {
    0x5E0A7C20, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};
inline constexpr WORD NAVLET_TYPELIB_MAJOR = 1;
inline constexpr WORD NAVLET_TYPELIB_MINOR = 0;
inline constexpr IID DIID_INavlet = {
    0x5E0A7C22, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};
inline constexpr IID DIID_INavletEvents = {
    0x5E0A7C23, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};

} // namespace navlet::win32
