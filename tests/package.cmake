# package.cmake -- the Debian package CPack makes of this build: metadata, files, and its programs run where it unpacks
add_test(NAME PackageHoldsThePlayerItsToolsAndTheirData
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(PackageHoldsThePlayerItsToolsAndTheirData PROPERTIES TIMEOUT 300 LABELS package)
