// Search times as text: "YYYY-MM-DD hh:mm:ss" of the stored UTC fields,
// independent of any time zone.
#pragma once

#include <string>

#include "platform/platform.h"

// Raises TimeOutOfRange for an instant outside 1970-01-01 00:00:00 to
// 3000-12-31 23:59:59 (years before 1900 stand for an unset time and give
// 1970-01-01 00:00:00).
std::string utcTimeText(const SYSTEMTIME& time);

struct TimeOutOfRange {};
