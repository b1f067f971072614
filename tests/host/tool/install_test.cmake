# cmake --install into a fresh prefix; the installed tool must run the plug-in installed beside it.
# usage: cmake -DBUILD=DIR -DPREFIX=DIR -P install_test.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}): ${out}${err}")
endif()
execute_process(COMMAND "${PREFIX}/bin/vantreo-host" --verbose --list-controls RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT err STREQUAL "vantreo-host: plug-in ${PREFIX}/bin/vantreo.auf\n" OR
   NOT out MATCHES "^Vantreo\nTrack bars:\n")
  message(FATAL_ERROR "the installed tool: status ${status}\n${err}${out}")
endif()
# The settings example beside the plug-in: commented out, so copied as it is it changes nothing.
file(STRINGS "${PREFIX}/bin/vantreo.ini.example" active REGEX "^[ \t]*[^;# \t]")
if(NOT EXISTS "${PREFIX}/bin/vantreo.ini.example" OR active)
  message(FATAL_ERROR "the installed vantreo.ini.example is missing or sets something: ${active}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
