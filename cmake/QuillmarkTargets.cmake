# Helpers that turn the folder layout into targets.
#
#   qm_folder_library(FOLDER [DEPS...])
#     Builds every .cpp in FOLDER/ into the static library qm_FOLDER, which
#     links the qm_ libraries of DEPS. Headers are included as "FOLDER/x.h".
#
#   qm_folder_tests(FOLDER [EXTRA_LIBS...])
#     Builds every .cpp in tests/FOLDER/ into FOLDER_tests, linked with
#     qm_FOLDER, the shared test support and GoogleTest, and registers each
#     test case with CTest.

function(qm_folder_library folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${PROJECT_SOURCE_DIR}/${folder}/*.cpp")
  if(NOT sources)
    return()  # a folder whose first code has not arrived yet
  endif()
  add_library(qm_${folder} STATIC ${sources})
  target_include_directories(qm_${folder} PUBLIC "${PROJECT_SOURCE_DIR}")
  foreach(dep IN LISTS ARGN)
    target_link_libraries(qm_${folder} PUBLIC qm_${dep})
  endforeach()
endfunction()

function(qm_folder_tests folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp")
  if(NOT sources OR NOT TARGET qm_${folder})
    return()
  endif()
  add_executable(${folder}_tests ${sources})
  set_target_properties(${folder}_tests PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  target_link_libraries(${folder}_tests PRIVATE qm_${folder} qm_test_support
                        ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${folder}_tests
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT
      "QM_FIXTURES_DIR=${QM_FIXTURES_DIR};QM_BIN_DIR=${QM_BIN_DIR};QM_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
