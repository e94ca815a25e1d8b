// Export control for the library's public interface.
#pragma once

// ZO_API marks what the shared library exports; everything else is hidden.
#if defined(ZO_BUILDING_LIBRARY)
#define ZO_API __attribute__((visibility("default")))
#else
#define ZO_API
#endif

// Plain C names for the few block primitives that keep their historical upper-case names.
#ifdef __cplusplus
#define ZO_EXTERN_C extern "C"
#else
#define ZO_EXTERN_C
#endif
