// Numbers of the standard HID telephony devices: usage pages and usages, the
// model code such a handset reports (outside every family of the maker's
// handsets), and the bounds the HID handset keeps to.
#pragma once

#include <windows.h>

#include <cstdint>

const uint16_t kHidPageTelephony = 0x0B;
const uint16_t kHidPageLeds = 0x08;

// Telephony application collections that mark a handset.
const uint16_t kHidUsagePhone = 0x01;
const uint16_t kHidUsageAnsweringMachine = 0x02;
const uint16_t kHidUsageMessageControls = 0x03;
const uint16_t kHidUsageHandset = 0x04;
const uint16_t kHidUsageHeadset = 0x05;

// Telephony page controls.
const uint16_t kHidUsageHookSwitch = 0x20;
const uint16_t kHidUsageFlash = 0x21;
const uint16_t kHidUsageRedial = 0x24;
const uint16_t kHidUsageDrop = 0x26;
const uint16_t kHidUsagePhoneMute = 0x2F;
const uint16_t kHidUsageRinger = 0x9E;
const uint16_t kHidUsageKey0 = 0xB0;        // 0xB0..0xB9: keys 0..9
const uint16_t kHidUsageKey9 = 0xB9;
const uint16_t kHidUsageKeyStar = 0xBA;
const uint16_t kHidUsageKeyPound = 0xBB;

// LED page indicators.
const uint16_t kHidLedMute = 0x09;
const uint16_t kHidLedOffHook = 0x17;
const uint16_t kHidLedRing = 0x18;

// The model a HID handset reports: outside the hands-free, adaptor and
// speaker families, so that it is configured like a plain handset.
const LONG kHidHandsetModel = 0x0F0B;

// Hook reports that agree with the off-hook LED this soon after it was
// written are the device's echo, not the user's hand.
const DWORD kHidEchoWindowMs = 500;

// Bounds on what a device may claim.
const size_t kHidMaxReportBytes = 512;
const size_t kHidMaxUsages = 64;            // telephony usages read from one collection of a report
const size_t kHidMaxStringChars = 63;       // product name and serial number kept
// Listings after a change that ask again a device that could not be asked
// (one still starting when its arrival is told).
const unsigned kHidJudgeRetries = 5;
const ULONG kHidInputBuffers = 512;         // reports the system keeps for the reader: its most

// A HID handset's stable id begins so.
const wchar_t kHidStableIdPrefix[] = L"hid:";
