// Qt's signal delivery and event queue are guarded by Qt's own futex-based
// locks, which ThreadSanitizer cannot see in the uninstrumented libQt5Core:
// the copies Qt makes inside them, and the argument copies of a queued signal
// (made by QMetaType::create on the emitting thread, read and destroyed on the
// receiving one), look like races. The tests' environment does not carry
// tests/tsan.supp, so these suppressions travel inside the binaries.
extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt5Core.so.5\n"
           "race:QMetaType::create\n"
           "race:QMetaType::destroy\n";
}
