// Export control of the QOBSspUmaCore shared library: the library is built with hidden
// visibility, and only what carries UMA_EXPORT is visible to hosts.
#pragma once

#if defined(_WIN32)
#if defined(QOBSspUmaCore_EXPORTS)
#define UMA_EXPORT __declspec(dllexport)
#else
#define UMA_EXPORT __declspec(dllimport)
#endif
#define UMA_HIDDEN
#else
#define UMA_EXPORT __attribute__((visibility("default")))
#define UMA_HIDDEN __attribute__((visibility("hidden")))
#endif
