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

}  // namespace platform
