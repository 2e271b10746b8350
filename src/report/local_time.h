#pragma once
// The time stamp that dates a report and a "RENAME.LOG" banner.
#include <string>

namespace korvel {

// The local date and time as "Wed Jun 30 21:49:08 1993", with English names whatever the locale, so that
// logs and reports read the same on every machine. "" when the clock cannot be read.
std::string localTimeText();

}  // namespace korvel
