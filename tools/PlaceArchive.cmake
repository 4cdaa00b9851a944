# cmake -DMKDB=<cartulo-mkdb> -DDADOS=<folder> -P PlaceArchive.cmake
file(MAKE_DIRECTORY "${DADOS}/laudas")
if(NOT EXISTS "${DADOS}/cartulo.db")
  # A sanitizer build's leak report must not fail the build.
  set(ENV{ASAN_OPTIONS} "detect_leaks=0")
  execute_process(COMMAND "${MKDB}" "${DADOS}/cartulo.db" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cartulo-mkdb could not create ${DADOS}/cartulo.db")
  endif()
endif()
