# render.cmake -- the offline renderer's command-line tests run the built talumen-render and read PNGs back
add_dependencies(render_tool_test talumen-render)
target_link_libraries(render_tool_test PRIVATE PkgConfig::CAIRO)
