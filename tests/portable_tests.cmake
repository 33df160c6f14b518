# The unit tests that hold on every platform, one program per layer: the native build runs
# them, and the Windows build runs the same programs under Wine. Listed once, so that a new
# test file runs on both.
set(QUIRLOMAT_PORTABLE_TEST_LAYERS runtime generator system clipboard)

set(runtime_test_sources
    decimal_text_test.cpp
    errors_test.cpp
    number_from_text_test.cpp
    rounding_test.cpp
    text_test.cpp
    utf8_test.cpp
    windows_1252_test.cpp)
set(runtime_test_libraries runtime)

set(generator_test_sources create_password_test.cpp equal_chances_test.cpp)
set(generator_test_libraries generator)

set(system_test_sources system_random_source_test.cpp)
set(system_test_libraries system generator)

set(clipboard_test_sources hand_off_chain_test.cpp hand_off_test.cpp)
set(clipboard_test_libraries clipboard)

# Makes <layer>_tests from the layer's list; test_support must exist.
function(quirlomat_portable_tests layer)
    list(TRANSFORM ${layer}_test_sources PREPEND "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${layer}/"
         OUTPUT_VARIABLE sources)
    add_executable(${layer}_tests ${sources})
    target_link_libraries(${layer}_tests PRIVATE ${${layer}_test_libraries} test_support
                          GTest::gtest_main)
endfunction()
