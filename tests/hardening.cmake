# Delivery: the Debian package built from this tree with cpack, unpacked
# with dpkg -x and its program run on the X server.
add_test(NAME package_e2e
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/package_e2e.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(package_e2e PROPERTIES LABELS "gui;e2e" RUN_SERIAL TRUE TIMEOUT 300)
