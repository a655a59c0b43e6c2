# Helpers shared by every folder's CMakeLists.txt.
#
# payroll_library(<name> [DEPS lib...] [QT])
#   One static library per source folder, made of every *.cpp in the folder
#   (new files are picked up at the next build, CONFIGURE_DEPENDS).  A folder
#   with no sources yet becomes an INTERFACE library, so dependants link.
#   The repository root is on the include path: #include "platform/core/X.h".
function(payroll_library name)
  cmake_parse_arguments(PL "QT" "" "DEPS;SOURCES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(APPEND srcs ${PL_SOURCES})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    target_link_libraries(${name} PUBLIC ${PL_DEPS})
    if(PL_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    target_link_libraries(${name} INTERFACE ${PL_DEPS})
  endif()
endfunction()

# payroll_tests(<folder-label> [DEPS lib...] [QT] [SUPPORT file.cpp...])
#   One GoogleTest executable per *Test.cpp file in tests/<folder>, named
#   <label>_<file>, registered with CTest and labelled with the folder's name
#   (ctest -L <label>).  Other *.cpp files in the folder (fakes, fixtures) are
#   shared support code linked into each of them.  Qt tests run headless
#   (QT_QPA_PLATFORM=offscreen) and each test gets 300 s.  PROPERTIES is one
#   flat list of name/value pairs, so ENVIRONMENT must stay a single value
#   (a second "A=B" item would swallow TIMEOUT as its value).
function(payroll_tests label)
  cmake_parse_arguments(PT "QT" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(support ${all})
  if(tests)
    list(REMOVE_ITEM support ${tests})
  endif()
  if(support)
    add_library(${label}_test_support STATIC ${support})
    target_link_libraries(${label}_test_support PUBLIC ${PT_DEPS} GTest::gtest GTest::gmock)
    target_include_directories(${label}_test_support PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    if(PT_QT)
      set_target_properties(${label}_test_support PROPERTIES AUTOMOC ON)
    endif()
    set(support_lib ${label}_test_support)
  else()
    set(support_lib "")
  endif()
  foreach(src ${tests})
    get_filename_component(base ${src} NAME_WE)
    set(exe ${label}_${base})
    add_executable(${exe} ${src})
    target_link_libraries(${exe} PRIVATE ${support_lib} ${PT_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    if(PT_QT)
      set_target_properties(${exe} PROPERTIES AUTOMOC ON)
    endif()
    gtest_discover_tests(${exe}
      DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES LABELS ${label}
                 ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                 TIMEOUT 300)
  endforeach()
endfunction()
