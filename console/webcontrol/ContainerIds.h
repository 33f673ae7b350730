// Command groups of the browser control's container protocol that MinGW's libuuid lacks.
#pragma once

#include <guiddef.h>

namespace murmella::webcontrol {

// {F38BC242-B950-11D1-8918-00C04FC2C836}: commands the control sends its host (script errors).
inline constexpr GUID kCgidDocHostCommandHandler = {
    0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

// {DE4BA900-59CA-11CF-9592-444553540000}: the HTML engine's own command group.
inline constexpr GUID kCgidMshtml = {0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

}  // namespace murmella::webcontrol
