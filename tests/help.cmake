# The field help: in-process suite on the real setup window (real X server)
# and the Help menu driven from outside.
vart_gui_suite(help_test help_test.cc)

vart_script_test(help_e2e e2e/help_e2e.sh)
set_tests_properties(help_e2e PROPERTIES
  ENVIRONMENT "XVT_DELETE_WINDOW=$<TARGET_FILE:xvt-delete-window>")
