#pragma once

#include <string>

// The library's configuration file: the current working directory followed by EtcConfig and
// Marovex.ini, joined with the platform's separator. Built without a length limit.
std::string configFilePath();
