# web_tests.cmake -- the web build's tests: the loudness against the native build's, and the page in headless Chromium
set(TALUMEN_SITE_TRACK "${TALUMEN_SITE}/data/talumen.ogg")
add_test(NAME web_level_agreement
  COMMAND node "${CMAKE_SOURCE_DIR}/tests/web/level_agreement.mjs"
          "$<TARGET_FILE:level_points>" "${TALUMEN_NATIVE_BUILD}/tests/level_points" "${TALUMEN_SITE_TRACK}")

# The browser cases need puppeteer-core under tests/web/node_modules (npm ci there; scripts/test.sh does it).
if(EXISTS "${CMAKE_SOURCE_DIR}/tests/web/node_modules/puppeteer-core")
  foreach(case start stills run spoiled)
    add_test(NAME web_browser_${case}
      COMMAND node "${CMAKE_SOURCE_DIR}/tests/web/browser_test.mjs" ${case} "${TALUMEN_SITE}"
              "${TALUMEN_NATIVE_BUILD}/tools/talumen-render")
    set_tests_properties(web_browser_${case} PROPERTIES TIMEOUT 600)
  endforeach()
else()
  message(STATUS "tests/web/node_modules has no puppeteer-core: the browser tests are left out (npm ci in tests/web)")
endif()
