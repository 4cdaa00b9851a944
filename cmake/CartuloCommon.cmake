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

# cartulo_add_test(NAME name SOURCES ... LIBS ...): one Qt Test executable under CTest,
# headless, each in its own temporary HOME so no test touches a real user's files.
function(cartulo_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE cartulo_settings Qt6::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    CARTULO_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    CARTULO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()
