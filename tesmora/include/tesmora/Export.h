// Export macro of the in-house library stand-ins (a shared library of their own).
#pragma once

// A static build (TESMORA_STATIC, set for every user of the headers) neither exports nor imports.
#if defined(TESMORA_STATIC)
#define TESMORA_API
#elif defined(_WIN32)
#if defined(TESMORA_BUILD)
#define TESMORA_API __declspec(dllexport)
#else
#define TESMORA_API __declspec(dllimport)
#endif
#else
#define TESMORA_API __attribute__((visibility("default")))
#endif
