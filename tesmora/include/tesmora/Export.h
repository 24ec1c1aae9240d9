// Export macro of the in-house library stand-ins (a shared library of their own).
#pragma once

#if defined(_WIN32)
#if defined(TESMORA_BUILD)
#define TESMORA_API __declspec(dllexport)
#else
#define TESMORA_API __declspec(dllimport)
#endif
#else
#define TESMORA_API __attribute__((visibility("default")))
#endif
