# Test plumbing shared by every test folder.
if(KELO_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  add_library(kelo_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp)
  target_link_libraries(kelo_test_main PUBLIC GTest::gtest)
  target_include_directories(kelo_test_main PUBLIC ${PROJECT_SOURCE_DIR})
endif()

function(kelo_add_gtest target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 600)
endfunction()
