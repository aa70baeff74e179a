// Reading and checking the lane table of the configuration file.
#pragma once

#include <string>
#include <vector>

#include "common/MvLaneInfo.h"

// The reason given when the configuration path could not be built.
extern const char* const kNoWorkingDirectory;

// Reads the Global MvLaneNum and one MvLane<i> section per lane (i from 0) of the file at `path`.
// On success fills `lanes` (in section order), sets `conf` to the styled JSON array of the value
// texts as written, logs it with passwords masked and returns true. On failure sets `conf` to the
// reason, logs one 'E' line that says where the file went wrong (section, line and what stands
// there), leaves `lanes` untouched and returns false. An empty path stands for a working directory
// that could not be read (kNoWorkingDirectory). Takes no lock; any thread.
bool readMvLaneTable(const std::string& path, std::vector<stMvLaneInfo_t>& lanes, std::string& conf);
