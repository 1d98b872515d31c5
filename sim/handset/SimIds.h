// What the stand-in handset control offers: the class id the program creates,
// the names by which scripts and tests reach its virtual handset. The
// dispatch numbers and model families are the maker's, read from the
// program's MakerControl.h; the interface ids are the stand-in's own.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "phone/MakerControl.h"

// {797E1292-653D-43DD-AE7E-F6606A73C647}, the maker's control class.
const CLSID CLSID_UsbPhoneSim = {0x797E1292, 0x653D, 0x43DD, {0xAE, 0x7E, 0xF6, 0x60, 0x6A, 0x73, 0xC6, 0x47}};
// The stand-in's type library, dispatch interface and event interface.
const GUID LIBID_UsbPhoneSim = {0x3C7A91E4, 0x5B2D, 0x4F08, {0x9A, 0x61, 0x2E, 0x4B, 0x7D, 0x10, 0xC3, 0x01}};
const IID DIID_UsbPhoneSim = {0x3C7A91E4, 0x5B2D, 0x4F08, {0x9A, 0x61, 0x2E, 0x4B, 0x7D, 0x10, 0xC3, 0x02}};
const IID DIID_UsbPhoneSimEvents = {0x3C7A91E4, 0x5B2D, 0x4F08, {0x9A, 0x61, 0x2E, 0x4B, 0x7D, 0x10, 0xC3, 0x03}};
const WORD kSimTypeLibMajor = 1;
const WORD kSimTypeLibMinor = 0;

// The virtual handset: one top-level window per GUI thread that hosts the
// control, found by this class name and its process id.
const wchar_t kHandsetWindowClass[] = L"CallvaneVirtualHandset";
const wchar_t kHandsetWindowTitle[] = L"Virtual handset";
// The handset's display: a static control of the window with this id.
const int kHandsetDisplayId = 100;

// Command channel: a WM_COPYDATA request to the handset window carries one
// command line (UTF-16, not terminated) with this dwData and the sender's
// reply window as wParam; the handset answers with a WM_COPYDATA of
// kChannelReply to that window before the request returns.
const ULONG_PTR kChannelRequest = 0x43564843;   // 'CVHC'
const ULONG_PTR kChannelReply = 0x43564852;     // 'CVHR'
// Longest request accepted, in characters; longer ones are refused whole.
const size_t kMaxRequestChars = 4096;

// Environment variable read when the first control of a process is created:
// words separated by spaces, commas or semicolons: "plugged", "unplugged",
// "hidden", "shown", "model=<decimal or 0x hex>".
const wchar_t kHandsetEnvironment[] = L"CALLVANE_HANDSET";
// Environment variable read when each control object is created, so that a
// container can be tried against controls that offer less: words separated
// by spaces, commas or semicolons: "noclassinfo2" (no IProvideClassInfo2),
// "noclassinfo" (neither IProvideClassInfo2 nor IProvideClassInfo: only the
// registered type library tells the event interface), "loadfails" (Load
// refuses every init stream), "noconnection" (FindConnectionPoint finds
// none).
const wchar_t kControlEnvironment[] = L"CALLVANE_HANDSET_CONTROL";

// Device models the handset window offers: one of each family and one that
// belongs to none.
struct SimModelChoice {
    DWORD model;
    const wchar_t* name;
};
const SimModelChoice kSimModels[] = {
    {0x0200, L"0200 hands-free"},
    {0x0500, L"0500 adaptor"},
    {0x0520, L"0520 PSTN adaptor"},
    {0x0AB0, L"0AB0 speaker"},
    {0x0100, L"0100 other"},
};
const DWORD kSimDefaultModel = 0x0200;
