# The installation run: in-process suites on the real window (the stopped
# runs each in a process of its own, see run_stop_test.cc), the program
# driven from outside, and a benchmark run by hand.
add_library(run_home STATIC run_home.cc)
target_compile_options(run_home PRIVATE ${VART_WARNINGS})
target_link_libraries(run_home PUBLIC test_support)

vart_gui_suite(run_test run_test.cc)
target_link_libraries(run_test PRIVATE run_home)
set_tests_properties(run_test PROPERTIES LABELS gui)

# A completed run raises the toolkit's quit flag for good, so each stopped
# run is a process of its own.
add_executable(run_stop_test run_stop_test.cc support/gui_main.cc)
target_compile_options(run_stop_test PRIVATE ${VART_WARNINGS})
target_link_libraries(run_stop_test PRIVATE run_home)
# The fault-injection test's child run and its LD_PRELOAD library.
add_executable(fault_run tools/fault_run.cc)
target_include_directories(fault_run PRIVATE support)
target_link_libraries(fault_run PRIVATE setup_core)
add_library(fault_shim MODULE tools/fault_shim.c)
target_link_libraries(fault_shim PRIVATE ${CMAKE_DL_LIBS})
target_compile_definitions(run_stop_test PRIVATE VART_FAULT_RUN="$<TARGET_FILE:fault_run>"
                           VART_FAULT_SHIM="$<TARGET_FILE:fault_shim>")
add_dependencies(run_stop_test fault_run fault_shim)
add_test(NAME run_faults COMMAND run_stop_test --gtest_filter=FaultInjection.*)
set_tests_properties(run_faults PROPERTIES LABELS gui)

foreach(case EmptyDirectoryField DirectoryWithoutTheExecutable SettingsFileThatCannotBeOpened
        CompileScriptThatCannotBeOpened ClassFileThatCannotBeOpened DirectoryThatCannotBeStored
        NextRunStartsFromTheTemplateInEveryKey SecondRunInTheSameDirectory)
  add_test(NAME run_stop_${case} COMMAND run_stop_test --gtest_filter=StoppedRun.${case})
  set_tests_properties(run_stop_${case} PROPERTIES LABELS gui)
endforeach()

# "Setup" clicked in the built program: a Full and a User installation.
vart_script_test(run_e2e e2e/run_e2e.sh)

# A Full installation with an up-to-date autodif.o, in process: built with
# the tests, run by hand on a display (build-dir/tests/run_bench), never by
# ctest.
find_package(benchmark REQUIRED)
add_executable(run_bench run_bench.cc)
target_compile_options(run_bench PRIVATE ${VART_WARNINGS})
target_link_libraries(run_bench PRIVATE run_home benchmark::benchmark)
