// What the transfer commands share: building the request record and putting
// the transfer's figures into the report.
#pragma once

#include <string>

#include "pelk.h"
#include "session.h"
#include "transfer_runner.h"

// A zeroed request for target and op with file_name set (the caller has
// checked that the name fits).
_flash_msg make_request(uint32_t target, uint32_t op, const std::string& file);

enum class verification { done, skipped, impossible, not_applicable };

// Summary line on stderr and bytes, seconds, rate and verification in the report.
void report_transfer(session& s, const std::string& label, const transfer_outcome& t, verification v);
