// Export and format-check macros of the link library's public headers.
//
// VESK_API marks what the shared library exports: default visibility on ELF
// platforms (everything else is hidden), dllexport while building the DLL
// and dllimport for its users on Windows. Programs that link the static
// archive of the same objects define VESK_STATIC and get neither.
#pragma once

#if defined(_WIN32)
#if defined(VESK_BUILDING)
#define VESK_API __declspec(dllexport)
#elif defined(VESK_STATIC)
#define VESK_API
#else
#define VESK_API __declspec(dllimport)
#endif
#else
#define VESK_API __attribute__((visibility("default")))
#endif

// printf-style format checking where the compiler has it. MinGW checks
// against the C runtime that its stdio header selects (GNU or Microsoft).
#if defined(__MINGW32__)
#include <cstdio>
#define VESK_PRINTF_FORMAT(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__) || defined(__clang__)
#define VESK_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define VESK_PRINTF_FORMAT(fmt, first)
#endif
