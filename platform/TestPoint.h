// A seam for tests of what happens when a run ends or waits at a given step: a
// kill, a power cut, or another program acting at that very moment. Does nothing
// unless the test's environment variables name the step.
#pragma once

namespace platform {

// At the step `point`:
//   QVN_TEST_STOP_AT=<point>   the process ends at once (exit code 86): no clean-up,
//                              no destructors, as a kill or a power cut would end it;
//   QVN_TEST_PAUSE_AT=<point>  the process creates "<point>.reached" in the folder
//                              QVN_TEST_PAUSE_DIR and waits (at most two minutes)
//                              until "<point>.go" appears there.
void TestPoint(const char* point) noexcept;

// True at the step `point` when QVN_TEST_FAIL_AT names it: the caller then fails as
// the system call it stands for would (for faults no real system can be made to
// produce on demand, such as a folder that cannot be flushed).
bool TestFault(const char* point) noexcept;

}  // namespace platform
