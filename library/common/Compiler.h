// Compiler-specific annotations, so that the rest of the code stays portable.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define MV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MV_PRINTF_FORMAT(fmt, args)
#endif

// Functions that other code enters with whatever stack it has: the exported functions and the
// bodies of the library's threads. On 32-bit x86 they realign the stack, since callers built with
// other compilers keep only 4-byte alignment and the code below may assume 16.
#if defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
#define MV_ENTRY_POINT __attribute__((force_align_arg_pointer))
#else
#define MV_ENTRY_POINT
#endif
