// Status codes the messenger side reports to the device dialog's ReportStatus.
#pragma once

#include "messenger/CommandCodes.h"

constexpr uint32_t kStatusReady = MakeCode('R', 'a', 'd', 'y');
constexpr uint32_t kStatusCallIn = MakeCode('C', 'a', 'I', 'n');
constexpr uint32_t kStatusTalk = MakeCode('T', 'a', 'l', 'k');

static_assert(kStatusReady == 0x52616479, "'Rady'");
