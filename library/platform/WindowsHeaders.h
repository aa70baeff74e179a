// The Windows headers as the platform layer uses them: Windows 7 and later, Windows Sockets 2
// (winsock2.h must come before windows.h), nothing of the rarely used parts of windows.h.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
