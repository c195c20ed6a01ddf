# package.cmake -- the Debian package CPack makes of this build: its metadata and files, then installed on a bare Debian 12 and run
add_test(NAME PackageHoldsThePlayerItsToolsAndTheirData
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(PackageHoldsThePlayerItsToolsAndTheirData PROPERTIES TIMEOUT 300 LABELS package
  FIXTURES_SETUP talumen_package)
# Root and the package sources are needed; where either is missing it is reported as skipped.
# A first run makes the minimal system (about a minute) and keeps it in the build tree.
add_test(NAME PackageInstallsAndRunsOnABareDebian12
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/bare_system_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(PackageInstallsAndRunsOnABareDebian12 PROPERTIES TIMEOUT 900 LABELS package
  FIXTURES_REQUIRED talumen_package SKIP_RETURN_CODE 77)
