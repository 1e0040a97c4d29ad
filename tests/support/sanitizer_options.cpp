// AddressSanitizer's defaults for the test programs (compiled into each of
// them, not into the support library, so the linker cannot leave it out).
// - No leak report: a test runs the show's start-up again and again in one
//   process, and the start-up by design keeps its buffers until the process
//   ends.  The programs the tests start (oddball, oddball-tool) keep the
//   leak check.
// - A huge allocation gives null, as the plain allocator does, so mem_alloc's
//   own message is what the exhaustion test sees.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ODDBALL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ODDBALL_ASAN 1
#endif

#ifdef ODDBALL_ASAN
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0:allocator_may_return_null=1";
}
#endif
