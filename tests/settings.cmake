# The settings store and the message texts.
vart_unit_suite(settings_test settings_test.cc)

# GetParam on the template's settings file: built with the tests, run by
# hand (build-dir/tests/settings_bench), never by ctest.
find_package(benchmark REQUIRED)
add_executable(settings_bench settings_bench.cc)
target_compile_options(settings_bench PRIVATE ${VART_WARNINGS})
target_link_libraries(settings_bench PRIVATE setup_core utility test_support benchmark::benchmark)
