# Read by ctest once the suites' tests are discovered. A test here bounds a
# short wait of the GUI thread for another thread, which other tests running
# beside it lengthen by descheduling whichever thread holds a lock it needs.
set_tests_properties(
  "viewer.MediaViewerVideoTest.ClosingNeverWaitsForThePlayerOrAStillBeingDecoded"
  PROPERTIES RUN_SERIAL TRUE)
