// Mouse input and cursors as the kits hand them to the form's handlers.
#pragma once

#include <cstdint>

namespace navlet {

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Bit set of the keys and buttons held during a mouse event.
using TShiftState = uint32_t;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;
inline constexpr TShiftState ssLeft = 8;
inline constexpr TShiftState ssRight = 16;
inline constexpr TShiftState ssMiddle = 32;

enum class TCursor { crDefault, crHandPoint };

} // namespace navlet
