# Delivery: the Debian packages built from this tree with cpack, checked
# with lintian, built twice alike, used from C and run on the X server.
# Not in a sanitizer or fuzzing tree: no package is built from one.
if(NOT VART_SANITIZE AND NOT VART_FUZZ)
  add_test(NAME package_e2e
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/package_e2e.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(package_e2e PROPERTIES LABELS "gui;e2e" RUN_SERIAL TRUE TIMEOUT 300)
endif()

# The window, a Full and a User installation and a help window in process
# under valgrind's memcheck: any invalid read or write, use of an
# uninitialised value or definite leak outside the toolkit's own (named in
# sanitizers/memcheck.supp) fails the test.  Not in a sanitizer or fuzzing
# tree, whose instrumented programs valgrind cannot run.
find_program(VALGRIND_PROGRAM valgrind)
if(NOT VART_SANITIZE AND NOT VART_FUZZ)
  add_executable(memcheck_run memcheck_run.cc support/gui_main.cc)
  target_compile_options(memcheck_run PRIVATE ${VART_WARNINGS})
  target_link_libraries(memcheck_run PRIVATE run_home)
  if(VALGRIND_PROGRAM)
    add_test(NAME memcheck_run
      COMMAND ${VALGRIND_PROGRAM} --tool=memcheck --error-exitcode=99 --leak-check=full
              --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=40
              --suppressions=${CMAKE_CURRENT_SOURCE_DIR}/sanitizers/memcheck.supp
              $<TARGET_FILE:memcheck_run>)
    set_tests_properties(memcheck_run PROPERTIES LABELS "gui;memcheck" TIMEOUT 600)
  else()
    message(WARNING "valgrind not found: the memcheck test is left out")
  endif()
endif()
