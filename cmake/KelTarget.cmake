# kel_library(NAME DIR [DEPS ...]): one static library per source folder. Every .cpp directly in
# DIR (and in its sub-folders listed with SUBDIRS) belongs to it, so adding a file needs no edit here.
function(kel_library name)
  cmake_parse_arguments(K "" "" "DEPS;SUBDIRS;SYSLIBS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(sub IN LISTS K_SUBDIRS)
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${K_DEPS} ${K_SYSLIBS})
endfunction()

# kel_test(NAME DIR DEPS...): every .cpp in tests/DIR forms one GoogleTest program.
function(kel_test name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KEL_BINARY_DIR="${PROJECT_BINARY_DIR}"
    KEL_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "KEL_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
