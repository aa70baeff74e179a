// Reading and checking the lane table of the configuration file.
#pragma once

#include <string>
#include <vector>

#include "common/MvLaneInfo.h"

// Reads the Global MvLaneNum and one MvLane<i> section per lane (i from 0) of the file at `path`.
// On success fills `lanes` (in section order), sets `conf` to the styled JSON array of the value
// texts as written, logs it with passwords masked and returns true. On failure sets `conf` to the
// reason, leaves `lanes` untouched and returns false. Takes no lock; any thread.
bool readMvLaneTable(const std::string& path, std::vector<stMvLaneInfo_t>& lanes, std::string& conf);
