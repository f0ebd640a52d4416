# brisola_add_subsystem(<name> [DEPS targets...])
# One static library per src/ folder, built from every source file below it.
# A folder without sources yet becomes an interface library, so dependants link unchanged.
function(brisola_add_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _src CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  set(_has_cpp FALSE)
  foreach(f ${_src})
    if(f MATCHES "\\.(cpp|c)$")
      set(_has_cpp TRUE)
    endif()
  endforeach()
  set(target brisola_${name})
  if(_has_cpp)
    add_library(${target} STATIC ${_src})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# brisola_add_test(<target> LABEL <subsystem> SOURCES files... [DEPS targets...] [RUN_SERIAL])
# A GoogleTest executable whose cases are listed at test time (so the display exists then),
# each case a CTest test labelled by subsystem. RUN_SERIAL keeps its cases away from any other
# test running at once (real-time audio that a loaded machine would starve).
function(brisola_add_test target)
  cmake_parse_arguments(ARG "RUN_SERIAL" "LABEL;TIMEOUT" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${target} PRIVATE brisola_testsupport ${ARG_DEPS})
  target_compile_definitions(${target} PRIVATE
      BRISOLA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      BRISOLA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(_serial)
  if(ARG_RUN_SERIAL)
    set(_serial RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ${_serial})
endfunction()
