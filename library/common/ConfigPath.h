#pragma once

#include <string>

// The library's configuration file: the current working directory followed by EtcConfig and
// Marovex.ini, joined with the platform's separator. Built without a length limit. Empty when the
// working directory cannot be read: no file is then looked for anywhere else.
std::string configFilePath();
