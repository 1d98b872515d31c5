// The two vocabularies by which the handset side and the messenger side
// speak: command codes go to the messenger side's ExecuteCommand, status codes
// to the handset side's ReportStatus. Each code is four ASCII letters, the
// first in the most significant byte.
#pragma once

#include <cstdint>

constexpr uint32_t MakeCode(char a, char b, char c, char d)
{
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}

// Command codes.
constexpr uint32_t kCmdAccept = MakeCode('A', 'c', 'p', 't');
constexpr uint32_t kCmdCall = MakeCode('C', 'a', 'l', 'l');
constexpr uint32_t kCmdDelete = MakeCode('D', 'e', 'l', 'e');
constexpr uint32_t kCmdDial = MakeCode('D', 'i', 'a', 'l');
constexpr uint32_t kCmdHangUp = MakeCode('H', 'g', 'u', 'p');
constexpr uint32_t kCmdHide = MakeCode('H', 'i', 'd', 'e');
constexpr uint32_t kCmdKeyDown = MakeCode('K', 'y', 'D', 'w');
constexpr uint32_t kCmdKeyIn = MakeCode('K', 'y', 'I', 'n');
constexpr uint32_t kCmdKeyOut = MakeCode('K', 'y', 'O', 'u');
constexpr uint32_t kCmdKeyUp = MakeCode('K', 'y', 'U', 'p');
constexpr uint32_t kCmdRefuse = MakeCode('R', 'f', 'u', 's');
constexpr uint32_t kCmdShow = MakeCode('S', 'h', 'o', 'w');

// Status codes.
constexpr uint32_t kStatusReady = MakeCode('R', 'a', 'd', 'y');
constexpr uint32_t kStatusCallIn = MakeCode('C', 'a', 'I', 'n');
constexpr uint32_t kStatusTalk = MakeCode('T', 'a', 'l', 'k');

static_assert(kCmdDial == 0x4469616C, "first letter in the most significant byte");
static_assert(kStatusReady == 0x52616479, "'Rady'");
