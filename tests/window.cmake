# The setup window: in-process suite (real window, real X server; it types
# real keys, so it runs alone) and the program driven from outside.
vart_gui_suite(window_test window_test.cc window_menu.cc)
set_tests_properties(window_test PROPERTIES RUN_SERIAL TRUE)

# Sends WM_DELETE_WINDOW, as a window manager would (tests/e2e/xvt.sh).
add_executable(xvt-delete-window tools/xvt_delete_window.c)
target_include_directories(xvt-delete-window PRIVATE ${X11_INCLUDE_DIR})
target_compile_options(xvt-delete-window PRIVATE ${VART_WARNINGS})
target_link_libraries(xvt-delete-window PRIVATE ${X11_X11_LIB})

vart_script_test(window_e2e e2e/window_e2e.sh)
set_tests_properties(window_e2e PROPERTIES
  ENVIRONMENT "XVT_DELETE_WINDOW=$<TARGET_FILE:xvt-delete-window>")
