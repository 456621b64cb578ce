# One helper registers a test executable with its sources and libraries.
#
#   kro_add_test(NAME name SOURCES a.cpp b.cpp LIBS kro_core [LABELS core] [OWN_MAIN])
# OWN_MAIN: the sources bring main() (GUI tests create the application object first).
function(kro_add_test)
  cmake_parse_arguments(T "OWN_MAIN" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KRO_SOURCE_DIR=${PROJECT_SOURCE_DIR};KRO_BIN_DIR=${KRO_BIN_DIR};KRO_FONT_DIR=${KRO_BIN_DIR}/fonts")
  if(WIN32)
    # Under wine the DLLs beside the programs (the compiler's runtime, libusb, Qt) are found
    # through WINEPATH.
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT "WINEPATH=Z:${KRO_BIN_DIR}")
  endif()
endfunction()
