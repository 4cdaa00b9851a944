# Settings every target of the project shares.
add_library(cartulo_settings INTERFACE)
target_compile_features(cartulo_settings INTERFACE cxx_std_20)
target_include_directories(cartulo_settings INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_options(cartulo_settings INTERFACE -Wall -Wextra)
target_compile_definitions(cartulo_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER)

if(CARTULO_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(cartulo_settings INTERFACE ${_san})
  target_link_options(cartulo_settings INTERFACE ${_san})
endif()

# The tests' private PostgreSQL server listens only on a Unix socket in a short folder of
# its own under /tmp (a socket path may not exceed 107 bytes, so never the build tree). The
# folder is made once per build tree and kept in the cache, so the tests know it when
# they are configured; scripts/pg-test-server.sh puts the server in it.
if(CARTULO_TESTS AND NOT CARTULO_PG_SOCKET_DIR)
  execute_process(COMMAND mktemp -d /tmp/cartulo-pg.XXXXXX
                  OUTPUT_VARIABLE _pg_dir OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(CARTULO_PG_SOCKET_DIR "${_pg_dir}" CACHE INTERNAL "Socket folder of the tests' PostgreSQL server")
endif()

# Two tests that start and stop the server around every test marked NEEDS_PG; CTest runs
# the stop even when a test fails. Called once, from tests/.
function(cartulo_add_pg_test_server)
  set(script ${CMAKE_SOURCE_DIR}/scripts/pg-test-server.sh)
  add_test(NAME pg_server_start COMMAND bash ${script} start ${CARTULO_PG_SOCKET_DIR})
  add_test(NAME pg_server_stop COMMAND bash ${script} stop ${CARTULO_PG_SOCKET_DIR})
  set_tests_properties(pg_server_start PROPERTIES FIXTURES_SETUP cartulo_pg_server TIMEOUT 120)
  set_tests_properties(pg_server_stop PROPERTIES FIXTURES_CLEANUP cartulo_pg_server TIMEOUT 120)
endfunction()

# Qt's test library without the folder names it compiles into every test (for QFINDTESTDATA,
# unused here): a build in another folder would otherwise miss the compiler cache for each test.
if(NOT TARGET cartulo_qttest)
  add_library(cartulo_qttest INTERFACE)
  target_link_libraries(cartulo_qttest INTERFACE $<LINK_ONLY:Qt6::Test> Qt6::Core)
  target_include_directories(cartulo_qttest SYSTEM INTERFACE
    $<TARGET_PROPERTY:Qt6::Test,INTERFACE_INCLUDE_DIRECTORIES>)
  target_compile_definitions(cartulo_qttest INTERFACE QT_TESTLIB_LIB)
endif()

# cartulo_add_test(NAME name SOURCES ... LIBS ... [NEEDS_PG]): one Qt Test executable under
# CTest, headless, each in its own temporary HOME so no test touches a real user's files.
# NEEDS_PG: the test runs while the private PostgreSQL server runs, and finds it through
# libpq's own variables (PGHOST is its socket folder, PGUSER its superuser).
function(cartulo_add_test)
  cmake_parse_arguments(T "NEEDS_PG" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE cartulo_settings cartulo_qttest ${T_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(environment
    CARTULO_SOURCE_DIR=${CMAKE_SOURCE_DIR}
    QT_QPA_PLATFORM=offscreen
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp)
  if(T_NEEDS_PG)
    list(APPEND environment PGHOST=${CARTULO_PG_SOCKET_DIR} PGPORT=5432 PGUSER=postgres PGDATABASE=postgres)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED cartulo_pg_server)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "${environment}")
endfunction()
