#pragma once

// Whether this build runs under a sanitizer. Processes that leave large structures to the exit free them
// in such builds, so leak checks stay meaningful.
inline bool zalSanitizedBuild()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}
