// Compiler-specific annotations, so that the rest of the code stays portable.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define MV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MV_PRINTF_FORMAT(fmt, args)
#endif
