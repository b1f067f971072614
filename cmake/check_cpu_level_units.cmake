# Compiles every CPU-level unit at -O0, where nothing is inlined, and fails when one of its objects
# defines a weak symbol. The linker keeps a single copy of such a symbol for every caller in the
# program; a level's copy would run that level's instructions on CPUs that lack them.
# usage: cmake -DSETTINGS=<file the test's configuration writes> -DOBJECT_DIR=<folder> -P check_cpu_level_units.cmake
# The settings set: level_sources ("file|flags" entries), compiler, build_flags, standard_flag,
# pic_flag, include_dirs, implicit_include_dirs, definitions, options, nm and objdump.
cmake_minimum_required(VERSION 3.20)
include(${SETTINGS})

# A toolchain file may name a tool without its folder (the MinGW one's objdump).
foreach(tool IN ITEMS nm objdump)
  if(${tool})
    find_program(${tool}_program NAMES ${${tool}})
  endif()
  if(NOT ${tool}_program)
    message("cpu-level check skipped: the toolchain has no ${tool} (\"${${tool}}\")")
    return()
  endif()
  set(${tool} ${${tool}_program})
endforeach()

separate_arguments(build_flags UNIX_COMMAND "${build_flags}")
# As CMake does: the compiler's own folders named with -I would change the order of its search.
list(REMOVE_DUPLICATES include_dirs)
if(implicit_include_dirs)
  list(REMOVE_ITEM include_dirs ${implicit_include_dirs})
endif()
list(TRANSFORM include_dirs PREPEND -I)
list(TRANSFORM definitions PREPEND -D)
set(common_flags ${build_flags} ${standard_flag} ${pic_flag} ${include_dirs} ${definitions} ${options})

if(NOT level_sources)
  message(FATAL_ERROR "no CPU-level units recorded (VANTREO_CPU_LEVEL_SOURCES)")
endif()
file(REMOVE_RECURSE ${OBJECT_DIR})
# What `tool` with `ARGN` prints of ${object}, into `out`; the check fails when it cannot read it.
function(read_object out tool)
  execute_process(COMMAND ${tool} ${ARGN} ${object} RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${tool} cannot read ${object}:\n${errors}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${OBJECT_DIR})
set(offences "")
foreach(entry IN LISTS level_sources)
  string(REGEX MATCH "^([^|]*)[|](.*)$" entry "${entry}")
  set(source ${CMAKE_MATCH_1})
  set(level_text ${CMAKE_MATCH_2})
  separate_arguments(level_flags UNIX_COMMAND "${level_text}")
  get_filename_component(name ${source} NAME_WE)
  set(object ${OBJECT_DIR}/${name}.o)

  # -O0 last, so that it overrides the build type's level.
  execute_process(COMMAND ${compiler} ${common_flags} ${level_flags} -O0 -c ${source} -o ${object}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${source} does not compile at -O0 with \"${level_text}\":\n${errors}")
  endif()

  # PE objects have no weak definitions but COMDAT sections, which the linker merges the same way.
  read_object(sections ${objdump} -h)
  string(REPLACE "\n" ";" lines "${sections}")
  set(merged_sections "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^ *[0-9]+ ([^ ]+) ")
      set(section ${CMAKE_MATCH_1})
    elseif(line MATCHES "LINK_ONCE")
      list(APPEND merged_sections ${section})
    endif()
  endforeach()

  read_object(symbols ${nm} -C --format=sysv --defined-only)
  # name|value|class|type|size|line|section, where only the name may hold a "|" (operator|).
  # Classes W and V: weak functions and objects; u: GNU unique objects (an inline function's static
  # variables); any upper-case one, a global: merged when its section is.
  string(REPLACE "\n" ";" lines "${symbols}")
  set(weak_symbols "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^(.*)[|][0-9a-fA-F ]*[|] *([A-Za-z]) *[|][^|]*[|][^|]*[|][^|]*[|]([^|]*)$")
      string(STRIP "${CMAKE_MATCH_1}" symbol)
      set(class ${CMAKE_MATCH_2})
      set(section ${CMAKE_MATCH_3})
      if(class MATCHES "^[WVu]$" OR (class MATCHES "^[A-Z]$" AND section IN_LIST merged_sections))
        string(APPEND weak_symbols "\n  ${source}: ${symbol}")
      endif()
    endif()
  endforeach()
  if(NOT weak_symbols)
    message(STATUS "${source} (${level_text}): no weak symbol")
  endif()
  string(APPEND offences "${weak_symbols}")
endforeach()

if(offences)
  message(FATAL_ERROR "CPU-level units define weak symbols, which the linker may keep for callers at "
    "every level:${offences}")
endif()
