# Host build: the platform-free core under AddressSanitizer and UBSan.
set(SAN -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

set(HOST_SOURCES ${ORVALIS_PURE_SOURCES})
if(EXISTS ${CMAKE_SOURCE_DIR}/simcard/scenario.cpp)
  list(APPEND HOST_SOURCES simcard/scenario.cpp simcard/scenario_words.cpp)
endif()
# The virtual dish behind the simulated card: scenario, sky, geometry, receiver;
# and the SAT>IP protocol's texts.
foreach(f simcard/dish_scenario.cpp simcard/dish_geometry.cpp simcard/sky.cpp simcard/dish_signal.cpp
          driver/satip_protocol.cpp driver/ts_tables.cpp driver/ts_writer.cpp driver/satellite_identity.cpp
          driver/satellite_verdict.cpp driver/phone_http.cpp driver/phone_json.cpp)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${f})
    list(APPEND HOST_SOURCES ${f})
  endif()
endforeach()
add_library(orvcore_host STATIC ${HOST_SOURCES})
target_include_directories(orvcore_host PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(orvcore_host PRIVATE ${OUR_WARNINGS} ${SAN})
target_link_options(orvcore_host PUBLIC ${SAN})

if(ORVALIS_TESTS)
  file(GLOB HOST_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
  add_executable(host_tests ${HOST_TESTS})
  target_compile_options(host_tests PRIVATE ${OUR_WARNINGS} ${SAN})
  target_compile_definitions(host_tests PRIVATE ORVALIS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # libdvbpsi (VideoLAN) decodes what our table writer builds: a reading by
  # others, for the tests only; nothing we ship links it.
  target_link_libraries(host_tests PRIVATE orvcore_host gtest gtest_main dvbpsi)
  include(GoogleTest)
  gtest_discover_tests(host_tests TEST_PREFIX "host." DISCOVERY_TIMEOUT 60)
  # Calls run one way: the tuner and the transponder lists see only app/'s
  # state (its routines reach them through AppState.calls), and the [dish]
  # section never includes the scenario reader that calls it. The two drivers
  # share driver/ and never include each other.
  add_test(NAME host.one_way_includes WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} COMMAND sh -c [[
    ! grep -n 'include .app/' tuner/* transponders/* | grep -v 'app/app_state\.h' &&
    ! grep -n 'include .simcard/scenario\.h' simcard/dish_scenario.* simcard/scenario_words.* &&
    ! grep -rn 'include .satip/' simcard driver && ! grep -rn 'include .simcard/' satip driver]])
  # The committed skin and icon are what tools/skin draws: regenerated here
  # and compared pixel for pixel.
  add_test(NAME host.skin_regenerates
    COMMAND sh -c "/usr/bin/python3 -m tools.skin --out '${CMAKE_BINARY_DIR}/skin' && /usr/bin/python3 \
                   tests/host/skin_regenerates.py '${CMAKE_SOURCE_DIR}' '${CMAKE_BINARY_DIR}/skin'"
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(host.skin_regenerates PROPERTIES TIMEOUT 120 ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
  # The bench's arithmetic: failed samples counted apart, pair ratios, verdicts.
  add_test(NAME host.bench_figures COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/host/bench_figures.py
                                           ${CMAKE_SOURCE_DIR}/tools/bench)
  set_tests_properties(host.bench_figures PROPERTIES ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endif()

# Fuzzers: clang's libFuzzer, one per parser, over the same platform-free
# sources. Built with clang beside the g++ tests; ctest gives each a few
# seconds from its seeds in tests/fuzz/, scripts/fuzz as long as asked.
find_program(FUZZ_CXX NAMES clang++ clang++-14)
if(ORVALIS_TESTS AND FUZZ_CXX)
  set(FUZZ_LINKED)
  foreach(f IN LISTS HOST_SOURCES)
    list(APPEND FUZZ_LINKED ${CMAKE_SOURCE_DIR}/${f})
  endforeach()
  file(GLOB_RECURSE FUZZ_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/*/*.h)
  list(FILTER FUZZ_HEADERS EXCLUDE REGEX "/build/")
  file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  set(FUZZERS)
  foreach(f IN LISTS FUZZ_TARGETS)
    get_filename_component(name ${f} NAME_WE)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
      COMMAND ${FUZZ_CXX} -std=c++20 -g -O1 -Wall -Wextra -Werror
              -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
              -I${CMAKE_SOURCE_DIR} ${f} ${FUZZ_LINKED} -o ${CMAKE_BINARY_DIR}/${name}
      DEPENDS ${f} ${FUZZ_LINKED} ${FUZZ_HEADERS}
      COMMENT "Building fuzzer ${name}")
    list(APPEND FUZZERS ${CMAKE_BINARY_DIR}/${name})
    add_test(NAME fuzz.${name}
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz --no-build 6 ${name})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120)
  endforeach()
  add_custom_target(fuzzers ALL DEPENDS ${FUZZERS})
endif()
