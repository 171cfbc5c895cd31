// What the transfer commands share: putting the transfer's figures into the
// report.
#pragma once

#include <string>

#include "session.h"
#include "transfer_runner.h"

enum class verification { done, skipped, impossible, not_applicable };

// Summary line on stderr and bytes, seconds, rate and verification in the report.
void report_transfer(session& s, const std::string& label, const transfer_outcome& t, verification v);
